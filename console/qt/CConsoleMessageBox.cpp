#include "console/qt/CConsoleMessageBox.h"

#include <QAbstractButton>

CConsoleMessageBox::CConsoleMessageBox(QWidget* parent, const QString& text, EKind kind) : QMessageBox(parent)
{
    setObjectName(QStringLiteral("message"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setTextFormat(Qt::PlainText);
    setText(text);
    if (kind == EKind::Question) {
        setIcon(NoIcon);
        setStandardButtons(Yes | No);
        // The labels a Japanese desktop gives these buttons.
        button(Yes)->setText(QStringLiteral("はい(&Y)"));
        button(No)->setText(QStringLiteral("いいえ(&N)"));
        setDefaultButton(Yes);
    } else {
        setIcon(kind == EKind::Error ? Critical : NoIcon);
        setStandardButtons(Ok);
    }
}
