#pragma once

#include "console/qt/DialogLayout.h"

class CDialogUnits;
class QComboBox;
class QDialog;
class QWidget;

// Makes a dialog from its template: caption, font, fixed client size and every control at
// its place, each named by its numeric identifier so that it can be found by it.
class CDialogBuilder
{
public:
    static void Build(QDialog& dialog, const SDialogLayout& layout);

private:
    static QWidget* MakeControl(QDialog& dialog, const SControlLayout& control, const CDialogUnits& units);
    static QWidget* NewWidget(QDialog& dialog, const SControlLayout& control);
    static void FinishPlacement(QWidget& widget, const SControlLayout& control, const CDialogUnits& units);
    static QWidget* MakeListView(QDialog& dialog, const SControlLayout& control);
    static QWidget* MakeEdit(QDialog& dialog, const SControlLayout& control);
    static QWidget* MakeButton(QDialog& dialog, const SControlLayout& control);
    static QWidget* MakePicture(QDialog& dialog, const SControlLayout& control);
    static void PlaceComboBox(QComboBox& box, const SControlLayout& control, const CDialogUnits& units);
};
