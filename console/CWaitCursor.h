#pragma once

#include "console/CDialogView.h"

// The wait cursor of a view for as long as this object lives.
class CWaitCursor
{
public:
    explicit CWaitCursor(CDialogView& view) : m_view(view) { m_view.SetWaitCursor(true); }
    ~CWaitCursor() { m_view.SetWaitCursor(false); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    CDialogView& m_view;
};
