#include "app/FontEngine.h"

#include <QByteArray>
#include <QtGlobal>

// DirectWrite rather than GDI: GDI's engine leaves some edits' Latin text undrawn under wine,
// and DirectWrite is the system's current text engine. A platform named by the user (in
// QT_QPA_PLATFORM or with -platform, which wins over both) is left as it is.
void ChooseFontEngine()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("windows:fontengine=directwrite"));
}
