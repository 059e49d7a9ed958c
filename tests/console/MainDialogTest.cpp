#include "ConsoleTest.h"
#include "RecordingViews.h"
#include "TestStorage.h"
#include "Wire.h"
#include "console/CMainDialog.h"

namespace {

using Texts = std::vector<std::string>;

class MainDialogTest : public ConsoleTest
{
protected:
    void Open()
    {
        dialog.OnInitDialog(view);
        view.messages.clear();
    }

    CTestStorage storage;
    CRecordingMainView view;
    CMainDialog dialog{tasks, storage.system};
};

TEST_F(MainDialogTest, OpensOnAPreparedStoreWithListPortAndCooperationState)
{
    Open();
    EXPECT_EQ(store.LayoutExists(), 1);
    EXPECT_EQ(view.menu, (std::map<unsigned, std::string>{{16, "Halvard のﾊﾞｰｼﾞｮﾝ情報(&A)..."}}));
    EXPECT_EQ(view.column, "MACアドレス");
    EXPECT_TRUE(view.list.empty());
    EXPECT_EQ(view.texts[CMainDialog::kPortText], "51056");
    EXPECT_EQ(view.texts[CMainDialog::kCooperationText], "許可しない");

    // Another program's changes show only once the matching dialog has been closed.
    ASSERT_TRUE(Tool({"password", "pw"}) && Tool({"port", "70000"}));
    EXPECT_TRUE(dialog.OnCommand(CMainDialog::kChangeCooperation));
    EXPECT_EQ(view.texts[CMainDialog::kCooperationText], "許可する");
    EXPECT_EQ(view.texts[CMainDialog::kPortText], "51056");
    EXPECT_TRUE(dialog.OnCommand(CMainDialog::kChangePort));
    EXPECT_EQ(view.texts[CMainDialog::kPortText], "4464") << "a cancelled port dialog still shows the stored port";

    EXPECT_TRUE(dialog.OnSystemCommand(CMainDialog::kAboutCommand | 0x3));
    EXPECT_FALSE(dialog.OnSystemCommand(0xF060));
    EXPECT_FALSE(dialog.OnCommand(1));
    EXPECT_EQ(view.abouts, 1);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(MainDialogTest, DeleteAsksFirstAndRefillsTheListEitherWay)
{
    ASSERT_TRUE(Tool({"layout"}));
    for (const char* id : {"00A0B0C0D0E2", "00A0B0C0D0E0", "00A0B0C0D0E1"}) {
        Register(id, 1);
    }
    Open();
    EXPECT_EQ(view.list, Texts({"00A0B0C0D0E0", "00A0B0C0D0E1", "00A0B0C0D0E2"}));

    dialog.OnCommand(CMainDialog::kDelete);
    EXPECT_EQ(view.Messages(), Texts({"108 E"})) << "nothing selected";

    const int refills = view.refills;
    view.messages.clear();
    view.selection = {"00A0B0C0D0E0", "00A0B0C0D0E2"};
    view.answers = {EMessageAnswer::No};
    dialog.OnCommand(CMainDialog::kDelete);
    EXPECT_EQ(view.Messages(), Texts({"105 Q"}));
    EXPECT_EQ(view.list.size(), 3u);
    EXPECT_EQ(view.refills, refills + 1);
    EXPECT_TRUE(view.selection.empty()) << "the refill clears the selection";

    view.messages.clear();
    view.selection = {"00A0B0C0D0E0", "00A0B0C0D0E2"};
    view.answers = {EMessageAnswer::Yes};
    dialog.OnCommand(CMainDialog::kDelete);
    EXPECT_EQ(view.Messages(), Texts({"105 Q", "106 N"}));
    EXPECT_EQ(view.list, Texts({"00A0B0C0D0E1"}));

    view.messages.clear();
    view.selection = {"00A0B0C0D0E1"};
    view.answers = {EMessageAnswer::Yes};
    store.failWrites = true;
    dialog.OnCommand(CMainDialog::kDelete);
    EXPECT_EQ(view.Messages(), Texts({"105 Q", "107 E"}));
    EXPECT_EQ(view.list, Texts({"00A0B0C0D0E1"}));
}

TEST_F(MainDialogTest, DeletionStopsAtTheFirstFailureAndSaysWhatWasDeleted)
{
    ASSERT_TRUE(Tool({"layout"}));
    Register("A1", 1);
    Register("C3", 3);
    const SDeleteResult result = tasks.DeleteRegistrations({"A1", "", "B2", "C3"});
    EXPECT_EQ(result.outcome, EDeleteOutcome::Failed);
    EXPECT_EQ(result.deleted, Texts({"A1"}));
    EXPECT_EQ(result.failedId, "B2");
    EXPECT_EQ(tasks.ListRegistrations(), Texts({"C3"}));
}

TEST_F(MainDialogTest, CopyNeedsASelectedIdThatIsStillRegistered)
{
    ASSERT_TRUE(Tool({"layout"}));
    Register("00A0B0C0D0E0", 1);
    Register("00A0B0C0D0E1", 2);
    Open();
    std::vector<std::string> copied;
    view.onCopy = [&copied](CCopyDialog&) { copied.push_back("opened"); };

    dialog.OnCommand(CMainDialog::kCopy);
    view.selection = {"00A0B0C0D0E0"};
    ASSERT_TRUE(Tool({"delete", "00A0B0C0D0E0"}));
    dialog.OnCommand(CMainDialog::kCopy);
    EXPECT_EQ(view.Messages(), Texts({"108 E", "108 E"}));
    EXPECT_TRUE(copied.empty());

    view.selection = {"00A0B0C0D0E0", "00A0B0C0D0E1"};
    dialog.OnCommand(CMainDialog::kCopy);
    EXPECT_EQ(copied, Texts({"opened"}));
    const auto copySet = tasks.BuildCopySet(view.selection);
    ASSERT_EQ(copySet.size(), 1u);
    EXPECT_EQ(copySet[0].GetId(), "00A0B0C0D0E1");
}

TEST_F(MainDialogTest, RegisterRefillsTheListHoweverTheDialogEnded)
{
    Open();
    view.onRegister = [this](CRegisterDialog&) { Register("00A0B0C0D0E0", 1); };
    dialog.OnCommand(CMainDialog::kRegister);
    EXPECT_EQ(view.list, Texts({"00A0B0C0D0E0"}));
}

TEST_F(MainDialogTest, ARegistrationByAnotherProcessIsListedWithoutAnyAction)
{
    Open();
    const int refills = view.refills;
    ASSERT_TRUE(Tool({"key", "00A0B0C0D0E0", Wire::Hex(Wire::Key(1))}));
    ASSERT_TRUE(view.RunPosted(10000)) << "no refill was posted";
    EXPECT_EQ(view.list, Texts({"00A0B0C0D0E0"}));
    EXPECT_EQ(view.refills, refills + 1);
}

} // namespace
