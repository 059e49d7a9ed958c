#pragma once

// What the console sets up once for the whole application, after the QApplication exists
// and before its first window: its name and icon for the desktop, the dialog font, and
// Qt's own texts (edit menus, standard buttons) in Japanese where they are installed.
class CConsoleApplication
{
public:
    static void Prepare();
};
