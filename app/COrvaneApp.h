// COrvaneApp: the application object. It runs the main dialog modally and ends with it.
#pragma once

#include "framework/CWinApp.h"

class COrvaneApp : public CWinApp {
public:
    COrvaneApp();
    ~COrvaneApp() override;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern COrvaneApp theApp;
