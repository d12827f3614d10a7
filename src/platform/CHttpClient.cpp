#include "platform/CHttpClient.h"

CHttpClient* CHttpClient::instance()
{
    // Created on first use on the GUI thread and kept for the process.
    static CHttpClient client;
    return &client;
}
