#include "app/DesignTimePorts.h"

#include "port/ComPort.h"
#include "port/WinsockPort.h"

namespace app {

namespace {

// ComPort1 as the main window's stored form makes it: the defaults of the component
// but for these settings, read while loading; Open stays off.
std::unique_ptr<port::TComPort> MakeSerialPort() {
    auto com = std::make_unique<port::TComPort>();
    com->Name = "ComPort1";
    com->ComponentState |= port::TBaseComponent::csLoading;
    com->SetComNumber(3);
    com->SetParity(port::pEven);
    com->SetTraceName("Rs232.TRC");
    com->SetLogName("Rs232.LOG");
    com->SetLogHex(false);
    com->SetLogAllHex(true);
    com->SetCommNotificationLevel(3);
    com->Loaded();
    return com;
}

// WinsockPort1 likewise: a client of the LAN module's serial bridge.
std::unique_ptr<port::TWinsockPort> MakeNetworkPort() {
    auto ws = std::make_unique<port::TWinsockPort>();
    ws->Name = "WinsockPort1";
    ws->ComponentState |= port::TBaseComponent::csLoading;
    ws->SetDeviceLayer(port::dlWinsock);
    ws->SetParity(port::pEven);
    ws->SetTapiMode(port::tmOff);
    ws->SetUseMSRShadow(false);
    ws->SetTraceName("IP.TRC");
    ws->SetLogName("IP.LOG");
    ws->SetWsAddress("192.168.0.100");
    ws->SetWsLocalAddresses({"192.168.0.10"});
    ws->SetWsPort("2101");
    ws->SetWsTelnet(false);
    ws->Loaded();
    return ws;
}

} // namespace

tool::TMainFormPorts MakeDesignTimePorts() {
    tool::TMainFormPorts ports;
    ports.serial = MakeSerialPort();
    ports.network = MakeNetworkPort();
    return ports;
}

} // namespace app
