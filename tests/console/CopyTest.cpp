#include "ConsoleTest.h"
#include "RecordingViews.h"
#include "Wire.h"
#include "console/CCopyDialog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kId1 = "00A0B0C0D0E0";
const std::string kId2 = "00A0B0C0D0E1";
const std::string kPassword = "\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68"; // パスワード in code page 932

// Another key server: the real service on a state directory of its own.
class CopyTest : public ConsoleTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(Harness::StoreTool(m_target.Path(), {"layout"}), 0);
        ASSERT_EQ(Harness::StoreTool(m_target.Path(), {"password", kPassword}), 0);
        ASSERT_TRUE(Harness::StartServing(m_target.Path(), m_service, m_port)) << (m_service ? m_service->Log() : "");
        ASSERT_TRUE(Tool({"layout"}));
        Register(kId1, 1);
        Register(kId2, 2);
    }

    // A sanitizer build of the service reports into its log without ending it.
    void TearDown() override
    {
        const std::string log = m_service ? m_service->Log() : "";
        for (const char* report : {"Sanitizer", "runtime error:"}) {
            EXPECT_EQ(log.find(report), std::string::npos) << log;
        }
    }

    // Runs the copy dialog on the copy set of both registrations against the port.
    CRecordingView<CDialogView> Copy(const std::string& port, const std::string& password)
    {
        CRecordingView<CDialogView> view;
        CCopyDialog dialog(tasks, tasks.BuildCopySet({kId1, kId2}));
        dialog.OnInitDialog(view);
        EXPECT_EQ(view.texts[CCopyDialog::kPort], "51056");
        view.texts[CCopyDialog::kHost] = "127.0.0.1";
        view.texts[CCopyDialog::kPort] = port;
        view.texts[CCopyDialog::kPassword] = password;
        dialog.OnOK();
        EXPECT_EQ(view.waitCursors, 1);
        EXPECT_FALSE(view.waiting || view.waitingDuringMessage) << "the message comes after the wait cursor";
        return view;
    }

    // What the target service answers a unit asking for the key of the ID.
    std::string Served(const std::string& id)
    {
        const std::string mask = "unit-mask";
        const std::string reply = Harness::Converse(m_port, Wire::Request(16) + Wire::Data(id) + Wire::Data(mask) +
                                                                Wire::Ack() + Wire::Ack());
        const std::string prefix = Wire::Ack() + Wire::Ack() + Wire::Ack();
        return reply.rfind(prefix, 0) == 0 ? reply.substr(prefix.size()) : "<" + Wire::Hex(reply) + ">";
    }

    std::string ServedKey(const std::string& id, unsigned char seed)
    {
        return Wire::Data(Wire::Seal(Wire::Key(seed), id, "unit-mask")) + Wire::Status(0, 0);
    }

    Harness::CTempDir m_target;
    uint16_t m_port = 0;
    std::unique_ptr<Harness::CTernwickProcess> m_service;
};

TEST_F(CopyTest, OutcomesAgainstARealKeyServer)
{
    const std::string port = std::to_string(m_port);
    const struct
    {
        const char* condition;
        std::string port;
        std::string password;
        std::vector<std::string> messages;
    } cases[] = {
        {"wrong password", port, "password", {"118 E"}},
        {"nothing listens", std::to_string(Harness::FreePort()), "パスワード", {"119 E"}},
        {"empty port", "", "パスワード", {"119 E"}},
        {"port above 65535", "65536", "パスワード", {"119 E"}},
        {"password with no code page 932 form", port, "\xF0\x9F\x94\x91", {"118 E"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        const auto view = Copy(c.port, c.password);
        EXPECT_EQ(view.Messages(), c.messages);
        EXPECT_FALSE(view.ended.has_value());
    }
    EXPECT_EQ(Served(kId1), Wire::Status(2, 1)) << "nothing was stored";

    // The Japanese password typed here is the code page 932 bytes stored there.
    const auto view = Copy(port, "パスワード");
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"120 N"});
    EXPECT_EQ(view.ended, EDialogResult::Accepted);
    EXPECT_EQ(Served(kId1), ServedKey(kId1, 1));
    EXPECT_EQ(Served(kId2), ServedKey(kId2, 2));
}

// A key server that acknowledges every packet, answers status 0 after the last, and keeps
// what the console sent.
class CRecordingTarget
{
public:
    CRecordingTarget() : m_listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        listen(m_listener, 1);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~CRecordingTarget() { close(m_listener); }

    // Serves one request of the given number of packets; returns every byte received.
    std::string Serve(int packets)
    {
        pollfd entry{m_listener, POLLIN, 0};
        if (poll(&entry, 1, 20000) != 1) {
            return "<no connection>";
        }
        const int fd = accept(m_listener, nullptr, nullptr);
        std::string received;
        for (int i = 0; i < packets; ++i) {
            const std::string header = Read(fd, 8);
            const uint32_t type = ntohl(*reinterpret_cast<const uint32_t*>(header.data()));
            const uint32_t value = ntohl(*reinterpret_cast<const uint32_t*>(header.data() + 4));
            received += header + (type == 2 ? Read(fd, value) : "");
            send(fd, Wire::Ack().data(), 8, MSG_NOSIGNAL);
        }
        const std::string status = Wire::Status(0, 0);
        send(fd, status.data(), status.size(), MSG_NOSIGNAL);
        received += Read(fd, 8);
        close(fd);
        return received;
    }

    uint16_t port = 0;

private:
    static std::string Read(int fd, size_t count)
    {
        std::string bytes(count, '\0');
        size_t done = 0;
        pollfd entry{fd, POLLIN, 0};
        while (done < count && poll(&entry, 1, 20000) == 1) {
            const ssize_t got = recv(fd, bytes.data() + done, count - done, 0);
            if (got <= 0) {
                break;
            }
            done += static_cast<size_t>(got);
        }
        return bytes.substr(0, done);
    }

    int m_listener;
};

TEST_F(ConsoleTest, ACopySetOfTwoTravelsByteForByteWithAFreshMaskEachTime)
{
    ASSERT_TRUE(Tool({"layout"}));
    Register(kId1, 1);
    Register(kId2, 2);
    CRecordingTarget target;
    std::string masks[2];
    for (std::string& mask : masks) {
        std::string received;
        std::thread server([&] { received = target.Serve(8); });
        const ECopyOutcome outcome =
            tasks.CopyKeys(tasks.BuildCopySet({kId1, kId2}), {"127.0.0.1", std::to_string(target.port), "パスワード"});
        server.join();
        EXPECT_EQ(outcome, ECopyOutcome::Done);
        ASSERT_GT(received.size(), 48u);
        mask = received.substr(received.size() - 40, 32);
        EXPECT_EQ(Wire::Hex(received),
                  Wire::Hex(Wire::Request(512) + Wire::Data(Wire::Password(kPassword, mask)) + Wire::Int(2) +
                            Wire::Data(kId1) + Wire::Data(Wire::Seal(Wire::Key(1), kId1, mask)) + Wire::Data(kId2) +
                            Wire::Data(Wire::Seal(Wire::Key(2), kId2, mask)) + Wire::Data(mask) + Wire::Ack()));
    }
    EXPECT_NE(masks[0], masks[1]);
}

} // namespace
