#include "app/CZiridEVApp.h"
#include "app/Console.h"
#include "app/FontEngine.h"

int main(int argc, char** argv)
{
    AttachParentConsole();
    if (CZiridEVApp::TextOnly(argc, argv))
        return CZiridEVApp::PrintText(argc, argv);
    ChooseFontEngine();
    CZiridEVApp app(argc, argv);
    return app.Run();
}
