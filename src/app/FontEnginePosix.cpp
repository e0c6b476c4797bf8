#include "app/FontEngine.h"

// The platform's own choice (fontconfig and FreeType) serves.
void ChooseFontEngine() {}
