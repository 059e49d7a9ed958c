#pragma once

#include "keys/CKeyRecord.h"

#include <vector>

class CConsoleTasks;
class CDialogView;

// The behaviour of the copy dialog: sends its copy set to the key server typed in.
class CCopyDialog
{
public:
    static constexpr int kDialogId = 133;
    static constexpr int kPort = 1006;
    static constexpr int kPassword = 1009;
    static constexpr int kHost = 1010;
    static constexpr const char* kDefaultPort = "51056";

    CCopyDialog(CConsoleTasks& tasks, std::vector<CKeyRecord> copySet) : m_tasks(tasks), m_copySet(std::move(copySet))
    {}

    void OnInitDialog(CDialogView& view);
    // "実行": the copy under a wait cursor; closes the dialog once it is done.
    void OnOK();

private:
    CConsoleTasks& m_tasks;
    const std::vector<CKeyRecord> m_copySet;
    CDialogView* m_view = nullptr;
};
