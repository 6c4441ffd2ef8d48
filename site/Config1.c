R-VEX commissioning tool: start-up settings for the simulated module (rvex-sim)

// Each setting is its name, a colon and the value; a semicolon ends a number.
// Words (the Var fields and the module address) follow the colon directly.

// Module configuration, shown on the Monitor e Config page and sent by Write Config
ModAdd: 10;
Mod485: 0;
Cont485: 1;
ContTime: 2;
Spare: 0;
Serie_1: 12345678;
Serie_2: 87654321;
Baudrate: 5;
DDBBGG: 0;
Var1:SIM1
Var2:SIM2
Var3:SIM3

// Line setting index: 1 = 9600,N,8,1  2 = 9600,N,8,2  3 = 9600,E,8,1
// 4 = 9600,O,8,1  5 = 19200,N,8,1  6 = 19200,N,8,2  7 = 19200,E,8,1  8 = 19200,O,8,1
// (a pty takes no parity, so the simulator line uses 5)
// Register offset 0: register N of the tables answers at request address N-1.

// Tool settings: framing at start (0 = RTU, 1 = Modbus TCP), meter ACK delay in ms,
// LAN module address and the port of its RCI service (the simulator listens on 8080)
Delta_1: 0;
Delta_2: 0;
Timer_T3: 1500;
IP_TEST:127.0.0.1
RCI_Port: 8080;
