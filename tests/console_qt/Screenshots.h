#pragma once

#include <string>

class QWidget;

// Saves a picture of the widget as <build tree>/screenshots/<name>.png.
void SaveScreenshot(QWidget& widget, const std::string& name);
