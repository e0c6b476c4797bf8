#include "app/CZiridEVApp.h"

int main(int argc, char** argv)
{
    CZiridEVApp app(argc, argv);
    return app.Run();
}
