#pragma once

#include "console/CCooperationDialogView.h"
#include "console/CMainDialogView.h"
#include "console/CRegisterDialogView.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What a window shows, recorded; questions are answered from a script.
template <typename Base> class CRecordingView : public Base
{
public:
    std::string GetControlText(int controlId) override { return texts[controlId]; }
    void SetControlText(int controlId, const std::string& text) override { texts[controlId] = text; }
    EMessageAnswer ShowMessage(const SConsoleMessage& message) override
    {
        messages.push_back(message);
        waitingDuringMessage = waitingDuringMessage || waiting;
        if (message.style != EMessageStyle::Question) {
            return EMessageAnswer::Ok;
        }
        const EMessageAnswer answer = answers.empty() ? EMessageAnswer::No : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return answer;
    }
    void EndDialog(EDialogResult result) override { ended = result; }
    void SetWaitCursor(bool on) override
    {
        waiting = on;
        waitCursors += on ? 1 : 0;
    }

    // The messages as "id style" texts, e.g. "108 E", "105 Q", "106 N".
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> shown;
        for (const SConsoleMessage& message : messages) {
            const char* style = message.style == EMessageStyle::Error    ? " E"
                                : message.style == EMessageStyle::Notice ? " N"
                                                                         : " Q";
            shown.push_back(std::to_string(message.id) + style);
        }
        return shown;
    }

    std::map<int, std::string> texts;
    std::vector<SConsoleMessage> messages;
    std::deque<EMessageAnswer> answers;
    std::optional<EDialogResult> ended;
    bool waiting = false;
    bool waitingDuringMessage = false;
    int waitCursors = 0;
};

class CRecordingRegisterView : public CRecordingView<CRegisterDialogView>
{
public:
    void SetComboItems(const std::vector<std::string>& items) override
    {
        combo = items;
        selected = -1;
    }
    void SelectComboItem(int index) override { selected = index; }
    int SelectedComboItem() override { return selected; }

    std::vector<std::string> combo;
    int selected = -1;
};

class CRecordingCooperationView : public CRecordingView<CCooperationDialogView>
{
public:
    void SetTextLimit(int controlId, int characters) override { limits[controlId] = characters; }
    void CheckRadioButton(int, int, int checkedId) override { checked = checkedId; }
    int CheckedRadioButton(int, int) override { return checked; }

    std::map<int, int> limits;
    int checked = 0;
};

// The main window: the list, and scripts for the register and copy dialogs it opens. Work posted from
// the watcher's thread waits in a queue until the test runs it.
class CRecordingMainView : public CRecordingView<CMainDialogView>
{
public:
    void AddSystemMenuItem(unsigned commandId, const std::string& text) override { menu[commandId] = text; }
    void SetListColumn(const std::string& header) override { column = header; }
    void SetListItems(const std::vector<std::string>& items) override
    {
        list = items;
        selection.clear();
        ++refills;
    }
    std::vector<std::string> SelectedListItems() override { return selection; }
    void RunRegisterDialog(CRegisterDialog& dialog) override { onRegister(dialog); }
    void RunPortDialog(CPortDialog&) override {}
    void RunCooperationDialog(CCooperationDialog&) override {}
    void RunCopyDialog(CCopyDialog& dialog) override { onCopy(dialog); }
    void RunAboutDialog() override { ++abouts; }
    void PostToUiThread(std::function<void()> work) override;

    // Runs posted work once some arrives within the time; false when none did.
    bool RunPosted(int timeOutMs);

    std::map<unsigned, std::string> menu;
    std::string column;
    std::vector<std::string> list;
    std::vector<std::string> selection;
    int refills = 0;
    int abouts = 0;
    std::function<void(CRegisterDialog&)> onRegister = [](CRegisterDialog&) {};
    std::function<void(CCopyDialog&)> onCopy = [](CCopyDialog&) {};

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_work;
};
