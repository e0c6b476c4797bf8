#pragma once
// The terminal a long command is run from: whether standard input is one, and whether Enter
// has been pressed there since the last look (without waiting).

bool InputIsTerminal();
bool EnterPressed();
