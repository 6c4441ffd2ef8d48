R-VEX end-to-end table against the simulator over TCP
>1468 M 3<1.8.0><En. attiva imp.>
>1524 l 2<C.8.0><Ore funzion. s>
>836 c 16<C.1.0><Matricola>
