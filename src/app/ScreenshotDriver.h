#pragma once
// Makes the documentation's pictures of the window (--screenshot, --fast-capture): drives the
// window as a user would, through its controls, then saves a picture of it and ends the
// program. With the demo bus it opens the port, searches, selects the first servo and moves it
// there and back on the debug page (in fast capture when asked); without it the window as it
// starts.

class CServoMain;
class QString;
class QWidget;

void StartScreenshot(CServoMain& window, const QString& file, bool demo, bool fastCapture);

// A PNG of `window` in `file`, with an open traffic inspector drawn over its lower right part.
bool SaveScreenshot(QWidget& window, const QString& file);
