#pragma once

#include "console/CDialogView.h"

#include <functional>
#include <string>
#include <vector>

class CCooperationDialog;
class CCopyDialog;
class CPortDialog;
class CRegisterDialog;

// The main dialog's window: the list of registrations, the system menu, the task dialogs it
// opens, and the way back onto the user-interface thread.
class CMainDialogView : public CDialogView
{
public:
    // Adds a separator and an item with the text and command identifier to the window's
    // system menu, if it has one; choosing it calls CMainDialog::OnSystemCommand.
    virtual void AddSystemMenuItem(unsigned commandId, const std::string& text) = 0;
    // The list's one column, with its header.
    virtual void SetListColumn(const std::string& header) = 0;
    // Replaces every item of the list, in this order; the selection is lost.
    virtual void SetListItems(const std::vector<std::string>& items) = 0;
    // The texts of the selected items, in ascending item order.
    virtual std::vector<std::string> SelectedListItems() = 0;

    // Each opens the window of a task dialog over this one, lets the behaviour initialise
    // it (OnInitDialog with that window) and runs it modally until it has ended.
    virtual void RunRegisterDialog(CRegisterDialog& dialog) = 0;
    virtual void RunPortDialog(CPortDialog& dialog) = 0;
    virtual void RunCooperationDialog(CCooperationDialog& dialog) = 0;
    virtual void RunCopyDialog(CCopyDialog& dialog) = 0;
    virtual void RunAboutDialog() = 0;

    // Called from any thread: runs the work on the user-interface thread later, in posting
    // order. Work still queued when the window is destroyed is dropped.
    virtual void PostToUiThread(std::function<void()> work) = 0;
};
