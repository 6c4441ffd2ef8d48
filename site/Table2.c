R-VEX register table 2: double values (site of the rvex-sim simulator)
// One entry per line: >address type count<OBIS code><note>
// address: register number as the module numbers it (the tool requests address-1)
// type: d = double (four registers, least significant first), i = int, h = hex,
//       c = characters (count = characters, two per register)

// Energy counters
>454 d 4<1.8.0><En. attiva imp.>
>458 d 4<1.8.1><En. attiva T1>
>462 d 4<1.8.2><En. attiva T2>
>466 d 4<2.8.0><En. attiva esp.>
>470 d 4<3.8.0><En. reattiva imp.>
>474 d 4<4.8.0><En. reattiva esp.>
// Instantaneous values
>478 d 4<1.7.0><Potenza kW>
>482 d 4<32.7.0><Tensione L1 V>
>486 d 4<52.7.0><Tensione L2 V>
>490 d 4<72.7.0><Tensione L3 V>
>494 d 4<31.7.0><Corrente L1 A>
>498 d 4<51.7.0><Corrente L2 A>
>502 d 4<71.7.0><Corrente L3 A>
>506 d 4<14.7.0><Frequenza Hz>
>510 d 4<13.7.0><Fattore potenza>
// Counters, status words and identification texts
>600 i 1<C.7.0><Mancanze rete>
>601 i 1<0.1.0><Reset fatturazione>
>603 i 1<32.7.0><Tensione L1 V x10>
>605 h 1<C.5.0><Stato contatore>
>836 c 16<C.1.0><Matricola>
>844 c 16<0.2.0><Firmware>
