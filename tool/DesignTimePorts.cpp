#include "tool/DesignTimePorts.h"

#include "port/ComPort.h"
#include "port/WinsockPort.h"

namespace tool {

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

// WinsockPort1 as the main window's stored form makes it. WsAddress, WsPort and WsMode
// are replaced from the window's fields at every open; until then these are the LAN
// module's and the workstation's private addresses of the stored form.
std::unique_ptr<port::TWinsockPort> MakeNetworkPort() {
    auto ip = std::make_unique<port::TWinsockPort>();
    ip->Name = "WinsockPort1";
    ip->ComponentState |= port::TBaseComponent::csLoading;
    ip->SetDeviceLayer(port::dlWinsock);
    ip->SetWsAddress("192.168.1.100");
    ip->SetWsLocalAddresses({"192.168.1.10"});
    ip->SetWsLocalAddressIndex(0);
    ip->SetWsPort("2101");
    ip->WsSocksServerInfo().SetPort(0);
    ip->SetWsTelnet(false);
    ip->SetTraceName("IP.TRC");
    ip->SetLogName("IP.LOG");
    ip->SetParity(port::pEven);
    ip->SetTapiMode(port::tmOff);
    ip->SetUseMSRShadow(false);
    ip->Loaded();
    return ip;
}

} // namespace

TMainFormPorts MakeDesignTimePorts() {
    TMainFormPorts ports;
    ports.serial = MakeSerialPort();
    ports.network = MakeNetworkPort();
    return ports;
}

} // namespace tool
