#pragma once
// TMainForm: the tool's main window with every control, timer and port component,
// the state its handlers share, and the handlers themselves. The handlers of each
// concern live in their own source file beside this one.
//
// Everything here runs on the window thread.
#include "port/ComPortInterface.h"
#include "tool/Readings.h"
#include "tool/TrafficTap.h"
#include "winsys/Controls.h"
#include "winsys/EventLoop.h"
#include "winsys/Timer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tool {

// The window-system names the form is written in.
using winsys::clYellow;
using winsys::ControlKind;
using winsys::EventLoop;
using winsys::TBitBtn;
using winsys::TButton;
using winsys::TComboBox;
using winsys::TComboBoxStyle;
using winsys::TEdit;
using winsys::TForm;
using winsys::TLabel;
using winsys::TMemo;
using winsys::TPageControl;
using winsys::TPanel;
using winsys::TShape;
using winsys::TStatusBar;
using winsys::TStringGrid;
using winsys::TTabSheet;
using winsys::TTimer;

class TExchanges;

// The two port components the window owns for its whole life.
struct TMainFormPorts {
    std::unique_ptr<port::IComPort> serial;      // ComPort1
    std::unique_ptr<port::IWinsockPort> network; // WinsockPort1
};

class TMainForm : public TForm {
  public:
    TMainForm(EventLoop& loop, TMainFormPorts ports);
    ~TMainForm() override;

    // ---- Shared state (zero or empty at start unless noted) ----
    uint8_t RxBuffer[3100] = {};
    int32_t RxCount = 0;
    char TxText[300] = {};
    uint32_t HexDisplay = 0;
    uint32_t GridPolling = 0;
    uint32_t PollRow = 0;
    uint32_t ValueType = 0;
    uint32_t ModbusTcp = 1;
    char TableFileName[30] = {};
    int32_t StartModbusTcp = 0;
    // A reading of "Config1.c" has set the Var fields: until then they show only their
    // design-time names, which must never be taken for values.
    bool ConfigWordsRead = false;
    uint8_t ComPortList[100] = {};
    uint32_t TransactionCounter = 0;
    int32_t RequestQuantity = 0;
    int32_t RowCursor = 0;
    uint32_t AutoAdvance = 0;
    uint32_t SingleShot = 0;
    char RciFileName[150] = {};
    char RciReply[4000] = {};

    // ---- Readings: outcomes of the Modbus exchanges (Readings.h) ----
    // Counts since a port last opened.
    TExchangeCounters Counters;
    // Each is called with every completed reading, in order of completion (an empty
    // one is skipped, so an observer that ends before the form can leave its place).
    std::vector<TReadingObserver> ReadingObservers;
    // Each is called after every change of Counters (an empty one is skipped).
    std::vector<std::function<void()>> CountersObservers;
    void NotifyCountersChanged() {
        for (auto& observer : CountersObservers)
            if (observer) observer();
    }
    // The outcome behind what column 2 of grid row `row` shows now, and behind
    // Edit20: good while they show a value or nothing.
    TOutcome ShownOutcome(int row) const;
    TOutcome ManualOutcome() const;
    // Whether the grid's cell (col, row) shows the text of a bad outcome, which the
    // window draws in red: the value column of a row whose outcome is bad.
    bool CellShowsBadOutcome(int col, int row) const;

    // ---- Port components ----
    // Every block written to and taken from the two ports, for the session's records.
    TrafficTap Traffic;
    port::IComPort* ComPort1;
    port::IWinsockPort* WinsockPort1;

    // ---- Controls, parents before children ----
    // LAN module panel
    TPanel Panel1{this, "Panel1", "Digi Lan Module", ControlKind::GroupBox};
    TButton Button29{&Panel1, "Button29", "HW_RST"};
    TButton Button30{&Panel1, "Button30", "Run"};
    TButton Button31{&Panel1, "Button31", "Config"};
    TButton Button32{&Panel1, "Button32", "Modbus"};
    TButton Button36{&Panel1, "Button36", "Rs485"};
    TButton Button37{&Panel1, "Button37", "LAN"};
    TBitBtn BitBtn1{&Panel1, "BitBtn1", "Read Status"};
    TLabel Label31{&Panel1, "Label31", "Label31"};
    TLabel Label32{&Panel1, "Label32", "Label32"};
    TLabel Label33{&Panel1, "Label33", "Label33"};
    TButton Button9{&Panel1, "Button9", "Reboot Digi lan module"};
    // IP socket panel
    TPanel Panel2{this, "Panel2", ""};
    TShape Shape2{&Panel2, "Shape2"};
    TLabel Label5{&Panel2, "Label5", "IP socket"};
    TBitBtn BitBtn5{&Panel2, "BitBtn5", "Chiusa"};
    TLabel Label13{&Panel2, "Label13", "Client/serv"};
    TLabel Label24{&Panel2, "Label24", "Disconnesso"};
    TLabel Label23{&Panel2, "Label23", "TXD"};
    TLabel Label12{&Panel2, "Label12", "RXD"};
    TLabel Label50{&Panel2, "Label50", "IP address"};
    TEdit Edit4{&Panel2, "Edit4", "xxx.xxx.xxx.xxx"};
    TLabel Label51{&Panel2, "Label51", "Port"};
    TEdit Edit9{&Panel2, "Edit9", "502", 6};
    TComboBox ComboBox3{&Panel2, "ComboBox3", "Client", TComboBoxStyle::csDropDownList};
    // RS485 panel
    TPanel Panel3{this, "Panel3", ""};
    TShape Shape3{&Panel3, "Shape3"};
    TLabel Label3{&Panel3, "Label3", "RS485"};
    TBitBtn BitBtn4{&Panel3, "BitBtn4", "Chiusa"};
    TComboBox ComboBox1{&Panel3, "ComboBox1", "COM X"};
    TComboBox ComboBox6{&Panel3, "ComboBox6", "No Baudrate", TComboBoxStyle::csSimple};
    TLabel Label2{&Panel3, "Label2", "CLOSE"};
    TLabel Label18{&Panel3, "Label18", "TXD"};
    TLabel Label17{&Panel3, "Label17", "RXD"};
    // Communication framing panel
    TPanel Panel4{this, "Panel4", "Comunicazione"};
    TShape Shape8{&Panel4, "Shape8"};
    TButton Button35{&Panel4, "Button35", "TCP"};
    TButton Button45{&Panel4, "Button45", "RTU OVER TCP"};
    TLabel Label47{&Panel4, "Label47", "TCP"};
    // Meter group
    TPanel GroupBox1{this, "GroupBox1", "", ControlKind::GroupBox};
    TLabel Label40{&GroupBox1, "Label40", "Interrogazione diretta contatore"};
    TButton Button21{&GroupBox1, "Button21", "Read"};
    TEdit Edit2{&GroupBox1, "Edit2", "Edit2", 5};
    TLabel Label26{&GroupBox1, "Label26", "ACK time ms"};
    TButton Button22{&GroupBox1, "Button22", "Send ACK"};
    // Pages
    TPageControl PageControl1{this, "PageControl1"};
    TTabSheet TabSheet1{&PageControl1, "TabSheet1", "Tabella letture"};
    TStringGrid StringGrid3{&TabSheet1, "StringGrid3", 7, 300};
    TButton Button40{&TabSheet1, "Button40", "Tabella1"};
    TButton Button7{&TabSheet1, "Button7", "Tabella2"};
    TButton Button46{&TabSheet1, "Button46", "Tab CFG3"};
    TPanel GroupBox2{&TabSheet1, "GroupBox2", "Polling", ControlKind::GroupBox};
    TBitBtn BitBtn2{&GroupBox2, "BitBtn2", "Auto Reg"};
    TBitBtn BitBtn3{&GroupBox2, "BitBtn3", "Single Reg"};
    TButton Button43{&GroupBox2, "Button43", "Clear posizione"};
    TButton Button42{&GroupBox2, "Button42", "Poll STOP"};
    TLabel Label43{&GroupBox2, "Label43", "Polling"};
    TLabel Label44{&GroupBox2, "Label44", "Polling Manuale  one shot"};
    TLabel Label45{&GroupBox2, "Label45", "Double CLICK sulla tabella"};
    TTabSheet TabSheet2{&PageControl1, "TabSheet2", "Monitor e Config"};
    TShape Shape4{&TabSheet2, "Shape4"};
    TPanel GroupBox3{&TabSheet2, "GroupBox3", "Monitor comunicazione", ControlKind::GroupBox};
    TMemo Memo2{&GroupBox3, "Memo2", "- CLICK FOR CLEAR -\r\n\r\n"};
    TButton Button47{&TabSheet2, "Button47", "Poll"};
    TLabel Label52{&TabSheet2, "Label52", "MB Start Address"};
    TComboBox ComboBox2{&TabSheet2, "ComboBox2", "454"};
    TLabel Label53{&TabSheet2, "Label53", "Tipo"};
    TComboBox ComboBox4{&TabSheet2, "ComboBox4", "double"};
    TLabel Label54{&TabSheet2, "Label54", "Lettura"};
    TEdit Edit20{&TabSheet2, "Edit20", ""};
    TShape Shape1{&TabSheet2, "Shape1"};
    TPanel GroupBox4{&TabSheet2, "GroupBox4", "Configurazione R-vex", ControlKind::GroupBox};
    TButton Button23{&GroupBox4, "Button23", "Config Test1"};
    TButton Button20{&GroupBox4, "Button20", "Read release"};
    TButton Button17{&GroupBox4, "Button17", "Read Config"};
    TButton Button18{&GroupBox4, "Button18", "Write Config"};
    TLabel Label60{&GroupBox4, "Label60", "ModBus Slave address"};
    TEdit Edit10{&GroupBox4, "Edit10", "10", 3};
    TLabel Label61{&GroupBox4, "Label61", "ModBus OFFSET"};
    TEdit Edit11{&GroupBox4, "Edit11", "1", 1};
    TLabel Label62{&GroupBox4, "Label62", "ModBus Type"};
    TEdit Edit12{&GroupBox4, "Edit12", "1", 1};
    TLabel Label63{&GroupBox4, "Label63", "ContTime"};
    TEdit Edit13{&GroupBox4, "Edit13", "2", 1};
    TLabel Label64{&GroupBox4, "Label64", "Spare"};
    TEdit Edit14{&GroupBox4, "Edit14", "2", 1};
    TLabel Label65{&GroupBox4, "Label65", "Serie_1"};
    TEdit Edit15{&GroupBox4, "Edit15", "12345678", 8};
    TLabel Label66{&GroupBox4, "Label66", "Serie_2"};
    TEdit Edit16{&GroupBox4, "Edit16", "12345678", 8};
    TLabel Label67{&GroupBox4, "Label67", "MB baudrate"};
    TEdit Edit31{&GroupBox4, "Edit31", "22"};
    TComboBox ComboBox5{&GroupBox4, "ComboBox5", "No Baudrate", TComboBoxStyle::csSimple};
    TLabel Label68{&GroupBox4, "Label68", "Var1"};
    TEdit Edit35{&GroupBox4, "Edit35", "Edit35"};
    TLabel Label69{&GroupBox4, "Label69", "Var2"};
    TEdit Edit36{&GroupBox4, "Edit36", "Edit36"};
    TLabel Label70{&GroupBox4, "Label70", "Var3"};
    TEdit Edit37{&GroupBox4, "Edit37", "Edit37"};
    TLabel Label71{&GroupBox4, "Label71", "DDBBGG"};
    TEdit Edit38{&GroupBox4, "Edit38", "Edit38"};
    TTabSheet TabSheet3{&PageControl1, "TabSheet3", ""};
    TPanel GroupBox5{&TabSheet3, "GroupBox5", "Free page", ControlKind::GroupBox};
    TEdit Edit8{&GroupBox5, "Edit8", "Edit8"};
    TEdit Edit22{&GroupBox5, "Edit22", "Edit22"};
    // Hidden buttons that only the program clicks
    TButton Button10{this, "Button10", "Send"};
    TButton Button28{this, "Button28", "Send_HCI1"};
    TStatusBar StatusBar1{this, "StatusBar1", "R-Vex test", clYellow};
    // Timers
    TTimer Timer1;
    TTimer Timer2;
    TTimer Timer3;
    TTimer Timer4;
    TTimer Timer6;

    // ---- Start-up and close ----
    void FormCreate();
    void FormClose();

    // ---- Port discovery and connection control ----
    void ComboBox1Change();
    void BitBtn4Click();
    void BitBtn5Click();
    void WinsockPort1WsConnect(port::IComPort* Sender);
    void WinsockPort1WsDisconnect(port::IComPort* Sender);
    void WinsockPort1WsError(port::IComPort* Sender, int32_t ErrCode);
    void Button35Click();
    void Button45Click();

    // ---- Receive accumulation, sending, monitor ----
    void WinsockPort1TriggerAvail(port::IComPort* CP, uint16_t Count);
    void ComPort1TriggerAvail(port::IComPort* CP, uint16_t Count);
    void Button10Click();
    void Timer2Timer();
    void Memo2Change();
    void Memo2Click();
    void Memo2DblClick();
    void Memo4KeyPress(char& Key);

    // ---- Register reading ----
    void CompleteResponse();  // Timer1
    void LoadRegisterTable(); // Button46
    void Button40Click();
    void Button7Click();
    void StringGrid3Click();
    void PollTick(); // Timer6
    void BitBtn2Click();
    void BitBtn3Click();
    void Button42Click();
    void Button43Click();
    void StringGrid3DblClick();
    void Button47Click();

    // ---- Configuration and meter ----
    void Button20Click();
    void Button17Click();
    void Button18Click();
    void Button23Click();
    void Button21Click();
    void Timer3Timer();
    void Button22Click();

    // ---- LAN module control ----
    void SendRciRequest(); // Button28
    void Button29Click();
    void Button30Click();
    void Button31Click();
    void Button32Click();
    void Button36Click();
    void Button37Click();
    void Button9Click();
    void ReadPinStatus(); // BitBtn1
    void Timer4Timer();

    EventLoop& Loop() { return loop_; }
    // The Modbus requests waiting for their replies.
    TExchanges& Exchanges() { return *exchanges_; }

  private:
    friend class TExchanges;
    // Shows a completed reading's value text in its place.
    void ShowReading(const TReading& reading);
    // Blanks a grid row's value cell (row 0, the titles, excepted) or Edit20.
    void ClearShownValue(TReadingTarget target, int row);

    void SetDesignTimeProperties();
    void BindEvents();

    EventLoop& loop_;
    // The ports as the handlers see them; declared before ports_ so that they outlive
    // the components' last events while those close.
    std::unique_ptr<TappedComPort> serialTap_;
    std::unique_ptr<TappedWinsockPort> networkTap_;
    TMainFormPorts ports_;
    // The table loader's "only the first ..." status while it is the status shown: the
    // next load that is complete takes it away with the table it described.
    std::string tableLoadNotice_;
    std::vector<TOutcome> rowOutcomes_;
    TOutcome manualOutcome_;
    std::unique_ptr<TExchanges> exchanges_;
};

// Fills list with the numbers (1 to 49, ascending, ended by 0) of the serial ports
// that can be opened for writing now.
void EnumerateComPorts(uint8_t list[100]);

// The line-setting list of ComboBox5 and ComboBox6, index 0 to 8.
extern const char* const LineSettingItems[9];

} // namespace tool
