#pragma once

#include "control/CControlOutput.h"

#include <cstdint>
#include <string>

// How a box of the control program looks on Windows: its caption and the message box
// flags of its icon and buttons.
struct SControlBoxStyle
{
    const char* caption;
    uint32_t flags;
};

SControlBoxStyle ControlBoxStyle(EControlBox box);

// Shows the box as a message box of the program (it has no window of its own) and returns
// once it has been answered.
void ShowControlBox(EControlBox box, const std::string& text);
