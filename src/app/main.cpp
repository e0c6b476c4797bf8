#include "app/CZiridEVApp.h"
#include "app/Console.h"

int main(int argc, char** argv)
{
    AttachParentConsole();
    CZiridEVApp app(argc, argv);
    return app.Run();
}
