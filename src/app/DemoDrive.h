#pragma once
// Drives the window by itself for long unattended runs (scripts/soak): opens the first port,
// searches, selects the first servo found, ticks every curve of the debug page and leaves
// the page polling. Each time "通信超时" newly appears in the window it prints a line with
// that text to standard output, so a run can count its time-outs. After `minutes` (0: never)
// it closes the window and ends the program normally, so leak checks at exit run. With
// `overview` it also opens the bus overview over the servos found, polling beside the page.

class CServoMain;

void StartDemoDrive(CServoMain& window, double minutes, bool overview = false);
