#pragma once

#include <span>

// A dialog template as a resource script holds it: the dialog's caption and size, and its
// controls with identifier, kind, text, position and size in dialog units, and style.
enum class EControlKind
{
    Static,
    GroupBox,
    Bitmap, // text names the image resource ("131")
    Icon,   // text names the image resource ("128", "129")
    ListView,
    Button,
    Edit,
    ComboBox,
    RadioButton,
};

// Style notes of a control; several may be combined.
enum EControlStyle : unsigned
{
    kStyleNone = 0,
    kStyleSunken = 1u << 0,         // picture: sunken border
    kStyleDefaultButton = 1u << 1,  // button: activated by Enter
    kStyleHiddenDisabled = 1u << 2, // button: neither shown nor usable
    kStyleReadOnly = 1u << 3,       // edit
    kStylePassword = 1u << 4,       // edit: characters hidden
    kStyleDigitsOnly = 1u << 5,     // edit: only 0-9 can be typed
    kStyleMultiSelect = 1u << 6,    // list view: several items, selection kept visible unfocused
    kStyleDropDown = 1u << 7,       // combo box: drop-down with an edit field and a scroll bar
    kStyleGroupStart = 1u << 8,     // radio button: first of its group
};

// Controls without an identifier of their own (labels, frames, pictures).
constexpr int kNoControlId = -1;

struct SControlLayout
{
    int id;
    EControlKind kind;
    const char* text; // UTF-8
    int x;
    int y;
    int width;
    int height;
    unsigned style;
};

struct SDialogLayout
{
    int id;
    const char* caption; // UTF-8
    int width;
    int height;
    std::span<const SControlLayout> controls;
};
