#pragma once
// Makes the documentation's pictures of the window (--screenshot, --fast-capture,
// --step-test): drives the window as a user would, through its controls, then saves a picture
// of it and ends the program. With the demo bus it opens the port, searches, selects the first
// servo and moves it there and back on the debug page (in fast capture when asked), or sweeps
// its D gain in the step test and pictures the test's dialog, or opens "校准" from the
// programming page, sets the middle of all found servos and pictures that dialog; without it
// the window as it starts.

class CServoMain;
class QString;
class QWidget;
class VirtualBus;

// Overview: the bus overview of the servos found, with a servo dropping a share of its
// replies and another whose overheating bit came and went (its row stays red).
// Program: the programming page of the first servo with its table read, two fault bits
// showing and a row chosen.
enum class ShotScene { Moves, FastCapture, StepTest, Calibrate, Overview, Program };
void StartScreenshot(CServoMain& window, const QString& file, bool demo, ShotScene scene,
                     VirtualBus* demoBus = nullptr);

// A PNG of `window` in `file`, with an open traffic inspector drawn over its lower right part.
bool SaveScreenshot(QWidget& window, const QString& file);
