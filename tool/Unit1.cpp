#include "tool/Unit1.h"

#include "tool/ConnectionControl.h"
#include "tool/Exchanges.h"

#include <cstdio>
#include <cstring>

namespace tool {

using namespace winsys;

const char* const LineSettingItems[9] = {
    "No Baudrate", "9600,N,8,1",  "9600,N,8,2",  "9600,E,8,1",  "9600,O,8,1",
    "19200,N,8,1", "19200,N,8,2", "19200,E,8,1", "19200,O,8,1",
};

TMainForm::TMainForm(EventLoop& loop, TMainFormPorts ports)
    : TForm("MainForm", "R-VEX Varentis Rv1.9 B [116]"), Timer1(this, "Timer1", 250, false, &loop),
      Timer2(this, "Timer2", 2000, true, &loop), Timer3(this, "Timer3", 5000, false, &loop),
      Timer4(this, "Timer4", 200, false, &loop), Timer6(this, "Timer6", 500, false, &loop),
      loop_(loop), ports_(std::move(ports)),
      rowOutcomes_(static_cast<size_t>(StringGrid3.RowCount())),
      exchanges_(std::make_unique<TExchanges>(*this)) {
    if (ports_.serial) serialTap_ = std::make_unique<TappedComPort>(*ports_.serial, Traffic);
    if (ports_.network) networkTap_ = std::make_unique<TappedWinsockPort>(*ports_.network, Traffic);
    ComPort1 = serialTap_.get();
    WinsockPort1 = networkTap_.get();
    SetDesignTimeProperties();
    BindEvents();
}

TMainForm::~TMainForm() = default;

void TMainForm::ShowReading(const TReading& reading) {
    if (reading.Target == TReadingTarget::ManualRead) {
        manualOutcome_ = reading.Outcome;
        Edit20.SetText(reading.ValueText);
    } else if (reading.Row > 0 && static_cast<size_t>(reading.Row) < rowOutcomes_.size()) {
        rowOutcomes_[static_cast<size_t>(reading.Row)] = reading.Outcome;
        StringGrid3.SetCell(2, reading.Row, reading.ValueText);
    }
}

void TMainForm::ClearShownValue(TReadingTarget target, int row) {
    if (target == TReadingTarget::ManualRead) {
        manualOutcome_ = {};
        Edit20.SetText("");
    } else if (row > 0 && static_cast<size_t>(row) < rowOutcomes_.size()) {
        rowOutcomes_[static_cast<size_t>(row)] = {};
        StringGrid3.SetCell(2, row, "");
    }
}

TOutcome TMainForm::ShownOutcome(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= rowOutcomes_.size()) return {};
    return rowOutcomes_[static_cast<size_t>(row)];
}

TOutcome TMainForm::ManualOutcome() const {
    return manualOutcome_;
}

bool TMainForm::CellShowsBadOutcome(int col, int row) const {
    return col == 2 && !ShownOutcome(row).IsGood();
}

void TMainForm::SetDesignTimeProperties() {
    SetBounds(0, 0, 1033, 608);
    DefaultButton = &BitBtn1;

    // LAN module panel
    Button29.SetHint("RESET hardware microprocessore scheda R-vex");
    Button30.SetHint("RUN microprocessore scheda R-vex");
    Button31.SetHint("Modalita' configurazione e debug scheda R-vex");
    Button32.SetHint("Modalita' MODBUS");
    Button36.SetHint("Attivazione Interfaccia RS485");
    Button37.SetHint("Attivazione Interfaccia LAN");
    Button9.SetHint("REBOOT del modulo DIGI interfaccia LAN dopo il reboot attendere per il "
                    "restart della connessione LAN");
    BitBtn1.SetHint("Lettura I/O Pin digi");
    for (TLabel* pin : {&Label31, &Label32, &Label33})
        pin->SetHint("Stato I/O Pin digi");

    // IP socket panel
    Label24.SetHint("Stato di connessione IP");
    Label23.SetColor(clMoneyGreen);
    Label12.SetColor(clMoneyGreen);
    ComboBox3.SetItems({"Client", "Server"});
    ComboBox3.SetItemIndex(0);
    ComboBox3.Hide();

    // RS485 panel
    ComboBox1.SetHint("Selezione interfaccia seriale di comunicazione");
    ComboBox6.SetItems({std::begin(LineSettingItems), std::end(LineSettingItems)});
    ComboBox5.SetItems({std::begin(LineSettingItems), std::end(LineSettingItems)});
    ComboBox5.SetItemIndex(0);

    // Meter group: shown by the start-up sequence
    for (Control* c :
         std::initializer_list<Control*>{&Label40, &Button21, &Edit2, &Label26, &Button22})
        c->Hide();

    // Readings grid
    StringGrid3.ColWidths = {20, 52, 101, 20, 20, 92, 123};
    StringGrid3.DefaultRowHeight = 14;
    StringGrid3.FixedCols = 1;
    StringGrid3.FixedRows = 1;
    Button46.Hide();

    // Monitor and configuration page
    Memo2.SetColor(clMoneyGreen);
    ComboBox2.SetHint("Indirizzo registiro modbus");
    ComboBox2.SetItems({"454", "462", "604", "836", "1468", "1472", "1476", "1480", "1484", "600",
                        "1488", "1496", "1524", "1528", "1532", "1512", "1516", "1520"});
    ComboBox4.SetItems({"double", "int", "long int", "hex", "caratteri", "MODE_32"});
    Edit20.SetHint("Valore della lettura letta dal registro modbus");
    Button23.SetHint("LOAD config file");
    Button20.SetHint("Rilettura vervione fw R-vex");
    Button17.SetHint("Rilettura Configurazione R-vex");
    Button18.SetHint("Scrittura config R-vex");
    Edit10.SetHint("Indirizzo Modbus scheda R-vex");
    Edit11.SetHint("Offset iniziale registri ModBus 0=modbus32 1=modbusPoll");
    Edit12.SetHint("0 = double  1=modbus32");
    Edit13.SetHint("Ciclo interrogazione contatore min 1 max 9 (minuti)");
    Edit14.SetHint("0 = Normal 1= Debug_Raw 2=Debug_MB-OBIS");
    Edit15.SetHint("Numero serie Contatore");
    Edit16.SetHint("Numero serie Contatore");
    for (TEdit* e : {&Edit31, &Edit35, &Edit36, &Edit37})
        e->ReadOnly = true;
    Edit38.Hide();
    Label71.Hide();

    // Free page: nothing here is shown to the operator
    Edit8.Hide();
    Edit22.Hide();

    Button10.Hide();
    Button28.Hide();

    // The port components come with their design-time settings (DesignTimePorts.h).
}

void TMainForm::BindEvents() {
    auto bind = [this](Control& c, void (TMainForm::*handler)()) {
        c.OnClick = [this, handler] { (this->*handler)(); };
    };
    bind(Button29, &TMainForm::Button29Click);
    bind(Button30, &TMainForm::Button30Click);
    bind(Button31, &TMainForm::Button31Click);
    bind(Button32, &TMainForm::Button32Click);
    bind(Button36, &TMainForm::Button36Click);
    bind(Button37, &TMainForm::Button37Click);
    bind(Button9, &TMainForm::Button9Click);
    bind(BitBtn1, &TMainForm::ReadPinStatus);
    bind(BitBtn5, &TMainForm::BitBtn5Click);
    bind(BitBtn4, &TMainForm::BitBtn4Click);
    bind(Button35, &TMainForm::Button35Click);
    bind(Button45, &TMainForm::Button45Click);
    bind(Button21, &TMainForm::Button21Click);
    bind(Button22, &TMainForm::Button22Click);
    bind(Button40, &TMainForm::Button40Click);
    bind(Button7, &TMainForm::Button7Click);
    bind(Button46, &TMainForm::LoadRegisterTable);
    bind(BitBtn2, &TMainForm::BitBtn2Click);
    bind(BitBtn3, &TMainForm::BitBtn3Click);
    bind(Button43, &TMainForm::Button43Click);
    bind(Button42, &TMainForm::Button42Click);
    bind(Button47, &TMainForm::Button47Click);
    bind(Button23, &TMainForm::Button23Click);
    bind(Button20, &TMainForm::Button20Click);
    bind(Button17, &TMainForm::Button17Click);
    bind(Button18, &TMainForm::Button18Click);
    bind(Button10, &TMainForm::Button10Click);
    bind(Button28, &TMainForm::SendRciRequest);
    bind(StringGrid3, &TMainForm::StringGrid3Click);
    bind(Memo2, &TMainForm::Memo2Click);
    StringGrid3.OnDblClick = [this] { StringGrid3DblClick(); };
    Memo2.OnDblClick = [this] { Memo2DblClick(); };
    Memo2.OnChange = [this] { Memo2Change(); };
    Memo2.OnKeyPress = [this](char& key) { Memo4KeyPress(key); };
    ComboBox1.OnChange = [this] { ComboBox1Change(); };

    Timer1.OnTimer = [this] { CompleteResponse(); };
    Timer2.OnTimer = [this] { Timer2Timer(); };
    Timer3.OnTimer = [this] { Timer3Timer(); };
    Timer4.OnTimer = [this] { Timer4Timer(); };
    Timer6.OnTimer = [this] { PollTick(); };

    if (ComPort1) {
        ComPort1->OnTriggerAvail = [this](port::IComPort* cp, uint16_t count) {
            ComPort1TriggerAvail(cp, count);
        };
    }
    if (WinsockPort1) {
        WinsockPort1->OnTriggerAvail = [this](port::IComPort* cp, uint16_t count) {
            WinsockPort1TriggerAvail(cp, count);
        };
        WinsockPort1->OnWsConnect = [this](port::IComPort* cp) { WinsockPort1WsConnect(cp); };
        WinsockPort1->OnWsDisconnect = [this](port::IComPort* cp) { WinsockPort1WsDisconnect(cp); };
        WinsockPort1->OnWsError = [this](port::IComPort* cp, int32_t code) {
            WinsockPort1WsError(cp, code);
        };
    }
}

void TMainForm::FormCreate() {
    EnumerateComPorts(ComPortList);
    for (int i = 0; i < 100 && ComPortList[i] != 0; ++i) {
        char item[8];
        std::snprintf(item, sizeof item, "%d", ComPortList[i]);
        ComboBox1.AddItem(std::string("COM") + item);
    }
    if (ComPortList[0]) ComboBox1.SetHint(ComboBox1.Hint() + ": " + ComPortDevices(ComPortList));
    StatusBar1.SetColor(clGradientInactiveCaption);
    Button23.Click();
    std::memset(TableFileName, 0, sizeof TableFileName);
    std::strcpy(TableFileName, "Table1.c");
    Button46.Click();
    Memo2.Clear();
    Label43.SetColor(clBtnFace);
    Label44.SetColor(clLime);
    Label45.SetColor(clLime);
    Button42.Click();
    if (StartModbusTcp == 1)
        Button35.Click();
    else
        Button45.Click();
    Button21.Show();
    Edit2.Show();
    Label40.Show();
    Label26.Show();
}

void TMainForm::FormClose() {
    if (ComPort1) ComPort1->SetOpen(false);
    Label2.SetCaption("Com CLOSE");
    if (WinsockPort1) WinsockPort1->SetOpen(false);
    Label13.SetColor(clBtnFace);
    Label12.SetColor(clBtnFace);
    Label23.SetColor(clBtnFace);
}

} // namespace tool
