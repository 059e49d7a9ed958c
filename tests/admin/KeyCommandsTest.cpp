#include "AdminTest.h"
#include "Wire.h"

namespace {

const std::string kId = "00A0B0C0D0E0";
const std::string kStickId = "00a0b0c0d0e0"; // as the folder on the stick names it

TEST_F(AdminTest, ARegisteredKeyIsServedByteForByte)
{
    PlugStick('E', kStickId, 7);
    ASSERT_EQ(Run({"sticks"}), 0);
    EXPECT_EQ(out, "E:\\" + kId + "\t" + kId + "\t" + (sticks.Path() / "E").string() + "\t0ABC00EF0011AABB\tready\n");

    ASSERT_EQ(Run({"register"}), 0) << err;
    EXPECT_EQ(out, "Registered " + kId + " from E:\\" + kId + ".\n");
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out, kId + "\n");

    // The service on this store hands the unit exactly the key of the stick.
    uint16_t port = 0;
    const auto service = StartService(port);
    const std::string reply = Harness::Converse(port, Wire::Request(16) + Wire::Data(kId) + Wire::Data("unit-mask") +
                                                          Wire::Ack() + Wire::Ack());
    EXPECT_EQ(Wire::Hex(reply), Wire::Hex(Wire::Ack() + Wire::Ack() + Wire::Ack() + ServedKey(kId, 7)));
}

TEST_F(AdminTest, AnIdRegisteredAlreadyIsReplacedOnlyWhenAnswered)
{
    Register(kId, 1);
    PlugStick('E', kStickId, 2);
    const struct
    {
        const char* condition;
        std::vector<std::string> args;
        bool interactive;
        std::string answer;
        int status;
        unsigned char keySeed;
    } cases[] = {
        {"no terminal to ask on", {"register"}, false, "", 1, 1},
        {"answered no", {"register", kId}, true, "n", 1, 1},
        {"answered yes", {"register", "e:\\" + kStickId}, true, "y", 0, 2},
        {"--yes without a terminal", {"register", "--yes", "E:/" + kId}, false, "", 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        Register(kId, 1);
        terminal.interactive = c.interactive;
        terminal.typed = {c.answer};
        terminal.asked.clear();
        EXPECT_EQ(Run(c.args), c.status) << err;
        EXPECT_EQ(KeyOf(kId), Wire::Key(c.keySeed));
        const std::string question = kId + " is registered already. Replace its key with the one on E:\\" + kId + "?";
        EXPECT_EQ(terminal.asked, c.interactive ? std::vector<std::string>{question} : std::vector<std::string>());
    }
    Register(kId, 1);
    terminal.interactive = false;
    EXPECT_EQ(Run({"register"}), 1);
    EXPECT_EQ(err, "corvane-admin: no terminal to ask on: add --yes to replace the key of " + kId + "\n");
}

TEST_F(AdminTest, AKeyThatCannotBeReadIsRefusedWithItsReason)
{
    PlugStick('E', "000000000001", 1, "0011 AABB"); // Windows would not use this serial
    PlugStick('F', "000000000002", 2, "0022AABB", 31);
    ASSERT_EQ(Run({"sticks"}), 0);
    EXPECT_NE(out.find("E:\\000000000001\t000000000001\t" + (sticks.Path() / "E").string() +
                       "\tunknown\tcannot be registered: its stick has no USB identity that Windows would use"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\t0ABC00EF0022AABB\tcannot be registered: the key file is shorter than 32 bytes\n"),
              std::string::npos)
        << out;

    EXPECT_EQ(Run({"register"}), 2) << "two sticks, none named";
    EXPECT_EQ(err, "corvane-admin: lock keys E:\\000000000001 and F:\\000000000002 are plugged in: name one, as in "
                   "'corvane-admin register E:\\000000000001'\n");
    EXPECT_EQ(Run({"register", "000000000001"}), 1);
    EXPECT_EQ(err.find("corvane-admin: cannot register E:\\000000000001: its stick has no USB identity that Windows "
                       "would use"),
              0u)
        << err;
    EXPECT_EQ(Run({"register", "F:\\000000000002"}), 1);
    EXPECT_EQ(err, "corvane-admin: cannot register F:\\000000000002: the key file is shorter than 32 bytes: the lock "
                   "key is damaged: get the key from the unit's supplier\n");
    EXPECT_EQ(Run({"register", "G:\\000000000003"}), 1);
    EXPECT_TRUE(Registered().empty());
}

TEST_F(AdminTest, AKeyFileLinkedOffTheStickIsListedWithItsReasonAndNotRegistered)
{
    PlugStick('E', kStickId, 1);
    const auto keyFile = sticks.Path() / "E" / ("dont_delete_" + kStickId) / kStickId;
    std::filesystem::remove(keyFile);
    std::filesystem::create_symlink(sticks.File("secret", std::string(32, 's')), keyFile);
    ASSERT_EQ(Run({"sticks"}), 0);
    EXPECT_EQ(out, "E:\\" + kId + "\t" + kId + "\t" + (sticks.Path() / "E").string() +
                       "\t0ABC00EF0011AABB\tcannot be registered: the key file is a symbolic link (links are not "
                       "followed: the key must lie on the stick itself)\n");
    EXPECT_EQ(Run({"register"}), 1);
    EXPECT_EQ(err, "corvane-admin: cannot register E:\\" + kId +
                       ": the key file is a symbolic link (links are not followed: the key must lie on the stick "
                       "itself): the stick is not as it was made: get the key from the unit's supplier\n");
    EXPECT_TRUE(Registered().empty());
}

TEST_F(AdminTest, HostileNamesFromTheStoreAndFromSticksPrintEscaped)
{
    // Set the title, clear the screen, split the line.
    const std::string hostile = "\x1B]0;X\x07\x1B[2J\nAB";
    Register(hostile, 1);
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out, "\\x1B]0;X\\x07\\x1B[2J\\x0AAB\n");

    const std::string stickId = "\x1B[2J\n\t123456"; // 12 bytes, as a key file's name must be
    PlugStick('E', stickId, 2);
    ASSERT_EQ(Run({"sticks"}), 0);
    const std::string shown = "\\x1B[2J\\x0A\\x09123456";
    EXPECT_EQ(out,
              "E:\\" + shown + "\t" + shown + "\t" + (sticks.Path() / "E").string() + "\t0ABC00EF0011AABB\tready\n");
    ASSERT_EQ(Run({"register", "--yes"}), 0) << err;
    EXPECT_EQ(out, "Registered " + shown + " from E:\\" + shown + ".\n");
    EXPECT_EQ(Run({"delete", "--yes", hostile, stickId + "x"}), 1);
    EXPECT_EQ(out, "Deleted \\x1B]0;X\\x07\\x1B[2J\\x0AAB.\n");
    EXPECT_EQ(err, "corvane-admin: could not delete " + shown +
                       "X: it is not registered; the IDs after it were left alone (see 'corvane-admin list')\n");
}

TEST_F(AdminTest, DeleteAsksOnceAndStopsAtTheFirstFailure)
{
    for (const char* id : {"000000000001", "000000000002", "000000000003", "000000000004"}) {
        Register(id, 1);
    }
    terminal.interactive = true;
    terminal.typed = {"n", "y"};
    EXPECT_EQ(Run({"delete", "000000000001", "000000000002"}), 1);
    EXPECT_EQ(out, "Nothing deleted.\n");
    EXPECT_EQ(Run({"delete", "000000000001", "000000000002"}), 0);
    EXPECT_EQ(out, "Deleted 000000000001.\nDeleted 000000000002.\n");
    EXPECT_EQ(terminal.asked,
              std::vector<std::string>(2, "Delete the registrations of 000000000001 and 000000000002?"));

    EXPECT_EQ(Run({"delete", "--yes", "000000000003", "00000000000X", "000000000004"}), 1);
    EXPECT_EQ(out, "Deleted 000000000003.\n");
    EXPECT_EQ(err, "corvane-admin: could not delete 00000000000X: it is not registered; the IDs after it were left "
                   "alone (see 'corvane-admin list')\n");
    EXPECT_EQ(Registered(), std::vector<std::string>{"000000000004"});
}

} // namespace
