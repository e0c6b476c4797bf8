#include "app/CZiridEVApp.h"
#include "app/Console.h"
#include "app/FontEngine.h"

int main(int argc, char** argv)
{
    AttachParentConsole();
    ChooseFontEngine();
    CZiridEVApp app(argc, argv);
    return app.Run();
}
