#include "MainWindow.h"

#include <AppDefs.h>
#include <Application.h>

#include "IRCApp.h"
#include "MainView.h"

MainWindow::MainWindow(BRect frame)
    : BWindow(frame, "Pelmor", B_TITLED_WINDOW, B_NOT_RESIZABLE | B_NOT_ZOOMABLE)
{
    new MainView(this);
    Show();
}

MainWindow::~MainWindow() {}

void MainWindow::MessageReceived(BMessage* message)
{
    BWindow::MessageReceived(message);
}

bool MainWindow::QuitRequested()
{
    if (auto* app = dynamic_cast<IRCApp*>(be_app))
        app->SetWindowPos(Frame().LeftTop());
    be_app->PostMessage(B_QUIT_REQUESTED);
    return true;
}
