#pragma once
// Whether the program's standard output is a terminal (a table is then refreshed in place).
bool StdoutIsTerminal();
