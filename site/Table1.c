R-VEX register table 1: MODE_32 and long values (site of the rvex-sim simulator)
// One entry per line: >address type count<OBIS code><note>
// address: register number as the module numbers it (the tool requests address-1)
// type: M = MODE_32 (high word, low word, decimals), l = long (low word first),
//       i = int, h = hex, c = characters (count = characters, two per register)

// Energy counters, MODE_32 with 3 decimals
>1468 M 3<1.8.0><En. attiva imp.>
>1472 M 3<1.8.1><En. attiva T1>
>1476 M 3<1.8.2><En. attiva T2>
>1480 M 3<2.8.0><En. attiva esp.>
>1484 M 3<3.8.0><En. reattiva imp.>
>1488 M 3<4.8.0><En. reattiva esp.>
>1492 M 3<1.7.0><Potenza kW>
// Voltages (1 decimal) and currents (2 decimals)
>1496 M 3<32.7.0><Tensione L1 V>
>1500 M 3<52.7.0><Tensione L2 V>
>1504 M 3<72.7.0><Tensione L3 V>
>1508 M 3<31.7.0><Corrente L1 A>
>1536 M 3<51.7.0><Corrente L2 A>
>1540 M 3<71.7.0><Corrente L3 A>
>1544 M 3<14.7.0><Frequenza Hz>
>1548 M 3<13.7.0><Fattore potenza>
// 32-bit counters, long
>1512 l 2<1.8.0><En. attiva imp. Wh>
>1516 l 2<2.8.0><En. attiva esp. Wh>
>1520 l 2<1.7.0><Potenza W>
>1524 l 2<C.8.0><Ore funzion. s>
>1528 l 2<C.7.0><Mancanze rete>
>1532 l 2<0.1.0><Reset fatturazione>
// Meter status and identification
>602 i 1<14.7.0><Frequenza Hz x100>
>604 h 1<F.F><Registro errori>
>836 c 16<C.1.0><Matricola>
