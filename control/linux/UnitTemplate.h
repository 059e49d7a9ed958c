#pragma once

// The key service's unit as shipped, with @TERNWICK_EXECUTABLE@ in place of the path.
const char* UnitTemplateText();
