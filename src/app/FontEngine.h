#pragma once
// The font engine the window draws its text with, chosen before the application starts.

void ChooseFontEngine();
