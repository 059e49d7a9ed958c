#pragma once

class CConsoleTasks;
class CDialogView;

// The behaviour of the port dialog: checks the typed port and stores it.
class CPortDialog
{
public:
    static constexpr int kDialogId = 130;
    static constexpr int kPort = 1006;

    explicit CPortDialog(CConsoleTasks& tasks) : m_tasks(tasks) {}

    // The field starts empty.
    void OnInitDialog(CDialogView& view) { m_view = &view; }
    // "設定": closes the dialog, without a message, once the port is stored.
    void OnOK();

private:
    CConsoleTasks& m_tasks;
    CDialogView* m_view = nullptr;
};
