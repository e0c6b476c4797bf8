#pragma once
#include <QIcon>

// The program's icon, drawn at start: a servo body with its output horn.
QIcon AppIcon();
