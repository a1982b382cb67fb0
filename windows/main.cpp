#include "IRCApp.h"

int main()
{
    IRCApp* app = new IRCApp();
    app->Run();
    delete app;
    return 1;
}
