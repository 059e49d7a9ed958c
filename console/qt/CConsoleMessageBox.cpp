#include "console/qt/CConsoleMessageBox.h"

#include "console/qt/CModalRunner.h"

#include <QAbstractButton>

CConsoleMessageBox::CConsoleMessageBox(QWidget* parent, const SConsoleMessage& message) : QMessageBox(parent)
{
    setObjectName(QStringLiteral("message"));
    setWindowTitle(QString::fromUtf8(kMessageCaption.data(), static_cast<qsizetype>(kMessageCaption.size())));
    setTextFormat(Qt::PlainText);
    setText(QString::fromUtf8(message.text.data(), static_cast<qsizetype>(message.text.size())));
    if (message.style == EMessageStyle::Question) {
        setIcon(NoIcon);
        setStandardButtons(Yes | No);
        // The labels a Japanese desktop gives these buttons.
        button(Yes)->setText(QStringLiteral("はい(&Y)"));
        button(No)->setText(QStringLiteral("いいえ(&N)"));
        setDefaultButton(Yes);
    } else {
        setIcon(message.style == EMessageStyle::Error ? Critical : NoIcon);
        setStandardButtons(Ok);
    }
}

EMessageAnswer CConsoleMessageBox::Show(QWidget* parent, const SConsoleMessage& message, CModalRunner& runner)
{
    CConsoleMessageBox box(parent, message);
    switch (runner.Run(box)) {
    case Yes:
        return EMessageAnswer::Yes;
    case No:
        return EMessageAnswer::No;
    default:
        return EMessageAnswer::Ok;
    }
}
