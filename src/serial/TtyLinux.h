#pragma once
// Line settings of a Linux tty through termios2, which carries any rate (BOTHER) as well as
// the classic speed constants. Kept apart because <asm/termbits.h> clashes with <termios.h>.

namespace tty {

// The output rate in force on fd, in bits per second; 0 when it can't be read.
int ReadRate(int fd);
// Raw 8N1 at the given rate: no parity, one stop bit, receiver on, modem status ignored,
// no character processing in either direction, software flow control off.
bool ConfigureRaw(int fd, int rate);
// Holds DTR and RTS inactive; a device without modem lines (a pseudo-terminal) ignores it.
void LowerModemLines(int fd);
bool Flush(int fd, bool input, bool output);
// Waits until the bytes written to fd have left the driver at `rate` (tcdrain). Bounded: a
// queue that does not empty within twice its wire time plus 20 ms is left as it is (false).
bool Drain(int fd, int rate);
// Puts the line discipline of fd into raw mode without touching the rate.
bool MakeRaw(int fd);

}  // namespace tty
