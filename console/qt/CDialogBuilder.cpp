#include "console/qt/CDialogBuilder.h"

#include "console/qt/CConsoleImages.h"
#include "console/qt/CDialogFont.h"
#include "console/qt/CDialogUnits.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <algorithm>
#include <stdexcept>

namespace {

QString Text(const SControlLayout& control)
{
    return QString::fromUtf8(control.text);
}

bool Has(const SControlLayout& control, EControlStyle style)
{
    return (control.style & style) != 0;
}

QLabel* MakeStatic(QDialog& dialog, const SControlLayout& control)
{
    auto* label = new QLabel(Text(control), &dialog);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

// Selected rows keep their colours when the list loses the focus.
void KeepSelectionVisible(QWidget& widget)
{
    QPalette palette = widget.palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    widget.setPalette(palette);
}

} // namespace

void CDialogBuilder::Build(QDialog& dialog, const SDialogLayout& layout)
{
    dialog.setObjectName(QString::number(layout.id));
    dialog.setWindowTitle(QString::fromUtf8(layout.caption));
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
    dialog.setFont(CDialogFont::Font());
    const CDialogUnits units(dialog.font());
    dialog.setFixedSize(units.ToPixels(layout.width, layout.height));
    // Created in template order, so the tab order and the stacking (frames below their
    // contents) are the template's.
    for (const SControlLayout& control : layout.controls) {
        QWidget* widget = MakeControl(dialog, control, units);
        if (control.id != kNoControlId)
            widget->setObjectName(QString::number(control.id));
    }
}

QWidget* CDialogBuilder::MakeControl(QDialog& dialog, const SControlLayout& control, const CDialogUnits& units)
{
    QWidget* widget = NewWidget(dialog, control);
    widget->setGeometry(units.ToPixels(control.x, control.y, control.width, control.height));
    FinishPlacement(*widget, control, units);
    return widget;
}

QWidget* CDialogBuilder::NewWidget(QDialog& dialog, const SControlLayout& control)
{
    switch (control.kind) {
    case EControlKind::Static:
        return MakeStatic(dialog, control);
    case EControlKind::GroupBox:
        return new QGroupBox(Text(control), &dialog);
    case EControlKind::ListView:
        return MakeListView(dialog, control);
    case EControlKind::Edit:
        return MakeEdit(dialog, control);
    case EControlKind::Button:
        return MakeButton(dialog, control);
    case EControlKind::RadioButton:
        return new QRadioButton(Text(control), &dialog);
    case EControlKind::ComboBox: {
        auto* combo = new QComboBox(&dialog);
        combo->setEditable(Has(control, kStyleDropDown));
        // Typed text is never added to the list.
        combo->setInsertPolicy(QComboBox::NoInsert);
        return combo;
    }
    case EControlKind::Bitmap:
    case EControlKind::Icon:
        return MakePicture(dialog, control);
    }
    throw std::logic_error("unknown control kind");
}

// What depends on the control's size in pixels.
void CDialogBuilder::FinishPlacement(QWidget& widget, const SControlLayout& control, const CDialogUnits& units)
{
    switch (control.kind) {
    case EControlKind::ListView: {
        auto& list = static_cast<QTreeWidget&>(widget);
        list.header()->resizeSection(0, list.width() - 20);
        break;
    }
    case EControlKind::ComboBox:
        PlaceComboBox(static_cast<QComboBox&>(widget), control, units);
        break;
    case EControlKind::Bitmap:
    case EControlKind::Icon:
        static_cast<QLabel&>(widget).setPixmap(
            CConsoleImages::Render(Text(control).toInt(), widget.contentsRect().size(), widget.devicePixelRatioF()));
        break;
    default:
        break;
    }
}

QWidget* CDialogBuilder::MakeListView(QDialog& dialog, const SControlLayout& control)
{
    auto* list = new QTreeWidget(&dialog);
    list->setHeaderLabels({QString()});
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (Has(control, kStyleMultiSelect)) {
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        KeepSelectionVisible(*list);
    }
    return list;
}

QWidget* CDialogBuilder::MakeEdit(QDialog& dialog, const SControlLayout& control)
{
    auto* edit = new QLineEdit(Text(control), &dialog);
    if (Has(control, kStyleReadOnly)) {
        edit->setReadOnly(true);
        // Read-only fields look like the dialog behind them, not like a field to type in.
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }
    if (Has(control, kStylePassword))
        edit->setEchoMode(QLineEdit::Password);
    if (Has(control, kStyleDigitsOnly))
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

QWidget* CDialogBuilder::MakeButton(QDialog& dialog, const SControlLayout& control)
{
    auto* button = new QPushButton(Text(control), &dialog);
    button->setDefault(Has(control, kStyleDefaultButton));
    if (Has(control, kStyleHiddenDisabled)) {
        button->setVisible(false);
        button->setEnabled(false);
    }
    return button;
}

QWidget* CDialogBuilder::MakePicture(QDialog& dialog, const SControlLayout& control)
{
    auto* picture = new QLabel(&dialog);
    picture->setAlignment(Qt::AlignCenter);
    if (Has(control, kStyleSunken)) {
        picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        picture->setLineWidth(1);
    }
    return picture;
}

// The template's height of a drop-down combo box is that of the open list; the closed box
// takes the height its style gives it.
void CDialogBuilder::PlaceComboBox(QComboBox& box, const SControlLayout& control, const CDialogUnits& units)
{
    const int closedHeight = box.sizeHint().height();
    box.setGeometry(units.ToPixelsX(control.x), units.ToPixelsY(control.y), units.ToPixelsX(control.width),
                    closedHeight);
    const int rowHeight = box.fontMetrics().height() + 2;
    box.setMaxVisibleItems(std::max(1, (units.ToPixelsY(control.height) - closedHeight) / rowHeight));
}
