#pragma once

#include "console/CDialogView.h"

// The cooperation dialog's window: two password fields and a pair of radio buttons.
class CCooperationDialogView : public CDialogView
{
public:
    // Limits what can be typed into an edit field, in characters as the toolkit counts them.
    virtual void SetTextLimit(int controlId, int characters) = 0;
    // Checks checkedId and unchecks the other buttons from firstId to lastId.
    virtual void CheckRadioButton(int firstId, int lastId, int checkedId) = 0;
    // The checked button from firstId to lastId, 0 when none is.
    virtual int CheckedRadioButton(int firstId, int lastId) = 0;
};
