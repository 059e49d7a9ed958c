#include "ConsoleTest.h"
#include "RecordingViews.h"
#include "TestStorage.h"
#include "Wire.h"
#include "console/CCooperationDialog.h"
#include "console/CPortDialog.h"
#include "console/CRegisterDialog.h"

#include <filesystem>
#include <functional>
#include <netinet/in.h>

namespace {

using Messages = std::vector<std::string>;
const std::string kId = "00A0B0C0D0E0";

class RegisterDialogTest : public ConsoleTest
{
protected:
    RegisterDialogTest() { storage.drives.Add('E', temp.Folder("E"), {9, 1}); }

    // A lock key on E: whose file holds the key bound to the ID (no USB identity here).
    std::filesystem::path Stick(const std::string& bytes)
    {
        return temp.File("E/dont_delete_" + kId + "/" + kId, bytes);
    }

    CTempFolder temp;
    CTestStorage storage;
};

TEST_F(RegisterDialogTest, ChecksInOrderWithTheirMessagesAndWhetherTheDialogCloses)
{
    const std::string bound = Wire::Seal(Wire::Key(1), kId, "");
    // A stick with these bytes for an ID registered with another key.
    const auto registeredWith = [this](const std::string& bytes) {
        return [this, bytes] {
            Stick(bytes);
            Register(kId, 9);
        };
    };
    const struct
    {
        const char* condition;
        std::function<void()> before; // before the dialog opens
        std::function<void()> after;  // after it opened
        std::deque<EMessageAnswer> answers;
        Messages messages;
        bool closes;
        std::string key; // registered afterwards
    } cases[] = {
        {"no lock key plugged in", nullptr, nullptr, {}, {"108 E"}, false, ""},
        {"registered, not replaced",
         registeredWith(bound),
         nullptr,
         {EMessageAnswer::No},
         {"111 Q"},
         false,
         Wire::Key(9)},
        {"registered, replaced",
         registeredWith(bound),
         nullptr,
         {EMessageAnswer::Yes},
         {"111 Q", "110 N"},
         true,
         Wire::Key(1)},
        {"registered and corrupt, not replaced",
         registeredWith(bound.substr(0, 31)),
         nullptr,
         {EMessageAnswer::No},
         {"111 Q"},
         false,
         Wire::Key(9)},
        {"31-byte key file", [&] { Stick(bound.substr(0, 31)); }, nullptr, {}, {"112 E"}, true, ""},
        {"pulled out after opening",
         [&] { Stick(bound); },
         [&] { std::filesystem::remove_all(temp.Path() / "E"); },
         {},
         {"112 E"},
         true,
         ""},
        {"store write fails", [&] { Stick(bound); }, [&] { store.failWrites = true; }, {}, {"109 E"}, false, ""},
        {"stored", [&] { Stick(bound + "tail"); }, nullptr, {}, {"110 N"}, true, Wire::Key(1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        store.failWrites = false;
        store.DeleteKey(kId);
        std::filesystem::remove_all(temp.Path() / "E");
        temp.Folder("E");
        ASSERT_TRUE(Tool({"layout"}));
        if (c.before) {
            c.before();
        }
        CRecordingRegisterView view;
        CRegisterDialog dialog(tasks, storage.system);
        dialog.OnInitDialog(view);
        if (c.after) {
            c.after();
        }
        view.answers = c.answers;
        dialog.OnOK();
        EXPECT_EQ(view.Messages(), c.messages);
        EXPECT_EQ(view.ended.has_value(), c.closes);
        EXPECT_EQ(Wire::Hex(KeyOf(kId)), Wire::Hex(c.key));
    }
}

TEST_F(RegisterDialogTest, ListsTheLockKeysFoundWhenItOpensAndSelectsTheFirst)
{
    Stick(std::string(32, 'k'));
    temp.File("E/dont_delete_00a0b0c0d0e1/00a0b0c0d0e1", std::string(32, 'k'));
    CRecordingRegisterView view;
    CRegisterDialog dialog(tasks, storage.system);
    dialog.OnInitDialog(view);
    std::sort(view.combo.begin(), view.combo.end());
    EXPECT_EQ(view.combo, Messages({"E:\\00A0B0C0D0E0", "E:\\00A0B0C0D0E1"}));
    EXPECT_EQ(view.selected, 0);
}

TEST_F(ConsoleTest, PortDialogChecksInOrderAndOnlyAStoredPortClosesIt)
{
    ASSERT_TRUE(Tool({"layout"}));
    uint16_t held = 0;
    const RawSocket holder = Harness::HoldFreePort("127.0.0.1", held);
    ASSERT_TRUE(holder.Valid());
    const uint16_t free = Harness::FreePort();
    const struct
    {
        std::string text;
        bool failWrites;
        Messages messages;
    } cases[] = {
        {"", false, {"103 E"}},
        {"0", false, {"114 E"}},
        {"051056", false, {"114 E"}},
        {std::to_string(held), false, {"113 E"}},
        {std::to_string(free), true, {"104 E"}},
        {std::to_string(free), false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        store.failWrites = c.failWrites;
        CRecordingView<CDialogView> view;
        CPortDialog dialog(tasks);
        dialog.OnInitDialog(view);
        view.texts[CPortDialog::kPort] = c.text;
        dialog.OnOK();
        EXPECT_EQ(view.Messages(), c.messages);
        EXPECT_EQ(view.ended.has_value(), c.messages.empty());
        EXPECT_EQ(store.ReadPort(), c.messages.empty() ? free : 51056);
    }
    EXPECT_EQ(portsChanged, std::vector<uint16_t>{free}) << "the hook hears of the change, and only of it";
}

TEST_F(ConsoleTest, CooperationDialogChecksInOrderAndStoresCodePage932Bytes)
{
    const std::string seven = "日本語日本語日";
    const std::string eleven = "日本語日本語日本語日本";
    const struct
    {
        const char* condition;
        int radio;
        std::string password;
        std::string confirmation;
        bool failWrites;
        Messages messages;
        std::string stored;
    } cases[] = {
        {"fields differ", CCooperationDialog::kPermit, "abc", "abd", false, {"122 E"}, "old"},
        {"both empty", CCooperationDialog::kPermit, "", "", false, {"121 E"}, "old"},
        {"password empty", CCooperationDialog::kPermit, "", "a", false, {"122 E"}, "old"},
        {"eleven kanji, 22 bytes", CCooperationDialog::kPermit, eleven, eleven, false, {"117 E"}, "old"},
        {"no such character",
         CCooperationDialog::kPermit,
         "\xF0\x9F\x94\x91",
         "\xF0\x9F\x94\x91",
         false,
         {"117 E"},
         "old"},
        {"write fails", CCooperationDialog::kPermit, "new", "new", true, {"117 E"}, "old"},
        {"seven kanji, 14 bytes",
         CCooperationDialog::kPermit,
         seven,
         seven,
         false,
         {},
         "\x93\xFA\x96\x7B\x8C\xEA\x93\xFA\x96\x7B\x8C\xEA\x93\xFA"},
        {"permission withdrawn", CCooperationDialog::kForbid, "x", "y", false, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        ASSERT_TRUE(Tool({"layout"}) && Tool({"password", "old"}));
        store.failWrites = c.failWrites;
        CRecordingCooperationView view;
        CCooperationDialog dialog(tasks);
        dialog.OnInitDialog(view);
        view.checked = c.radio;
        view.texts[CCooperationDialog::kPassword] = c.password;
        view.texts[CCooperationDialog::kConfirmation] = c.confirmation;
        dialog.OnOK();
        EXPECT_EQ(view.Messages(), c.messages);
        EXPECT_EQ(view.ended.has_value(), c.messages.empty());
        EXPECT_EQ(Wire::Hex(store.ReadPassword()), Wire::Hex(c.stored));
    }
}

TEST_F(ConsoleTest, CooperationDialogShowsTheStoredPasswordAndStoresItUnchangedByteForByte)
{
    const struct
    {
        std::string stored;
        std::string shown;
        int checked;
    } cases[] = {
        {"", "", CCooperationDialog::kForbid},
        {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst", CCooperationDialog::kPermit},
        {"\x83\x70\x83\x58", "パス", CCooperationDialog::kPermit},
        {"a\x80", "a\xEF\xBF\xBD", CCooperationDialog::kPermit}, // no character: shown, kept as it is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        ASSERT_TRUE(Tool({"layout"}) && Tool({"password", c.stored}));
        CRecordingCooperationView view;
        CCooperationDialog dialog(tasks);
        dialog.OnInitDialog(view);
        EXPECT_EQ(view.texts[CCooperationDialog::kPassword], c.shown);
        EXPECT_EQ(view.texts[CCooperationDialog::kConfirmation], c.shown);
        EXPECT_EQ(view.checked, c.checked);
        EXPECT_EQ(view.limits,
                  (std::map<int, int>{{CCooperationDialog::kPassword, 20}, {CCooperationDialog::kConfirmation, 20}}));
        dialog.OnOK();
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(Wire::Hex(store.ReadPassword()), Wire::Hex(c.stored));
    }
}

} // namespace
