#pragma once

#include "app/AppContext.h"

// The serial side of the main window: the COM port list, the search, the polling session and
// its timers.
class SerialSession
{
public:
    explicit SerialSession(AppContext& context) : ctx_(context) {}

    // Fills the COM port list when the operator chooses the serial link.
    void scanComPorts();
    void startSerialSearch();
    void connectSerialDevice();
    void onIdentifyTimeout();
    void onPollTimeout();
    void onDownloadTimer();
    // At exit: the reader stops and the port closes; nothing is sent.
    void close();

private:
    AppContext& ctx_;
};
