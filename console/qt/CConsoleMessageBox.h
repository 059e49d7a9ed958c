#pragma once

#include <QMessageBox>
#include <QString>

// The console's message boxes, captioned with the program's name: errors with the stop
// icon and OK, questions with Yes and No and no icon, reports of success with OK alone.
class CConsoleMessageBox : public QMessageBox
{
public:
    static constexpr const char* kCaption = "Halvard";

    enum class EKind
    {
        Error,
        Question,
        Success,
    };

    CConsoleMessageBox(QWidget* parent, const QString& text, EKind kind);
};
