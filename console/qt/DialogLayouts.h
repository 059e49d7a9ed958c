#pragma once

#include "console/qt/DialogLayout.h"

// The console's dialog templates by resource number.
namespace DialogResource {
constexpr int kAbout = 100;
constexpr int kMain = 101;
constexpr int kRegister = 102;
constexpr int kPort = 130;
constexpr int kCooperation = 132;
constexpr int kCopy = 133;
} // namespace DialogResource

// The template of a dialog; throws std::out_of_range for a number that names none.
const SDialogLayout& FindDialogLayout(int resourceId);
