"""Reads the headless runner's `table` action from its output: the rows of the last
table printed, each a dict by column name. The columns are found by the header's
positions, so a value with blanks in it ("exception 02: illegal data address") stays
one cell. Lines that are JSON dumps or errors end a table."""

COLUMNS = ["Rif", "Address", "Value", "Type", "Count", "OBIS", "Note", "Outcome"]


def table_rows(lines):
    """The rows of the last table among lines (text, line ends allowed), or None when
    the output holds no table."""
    table = None
    starts = None
    for line in lines:
        line = line.rstrip("\r\n")
        if line.split() == COLUMNS:
            starts = [line.index(name) for name in COLUMNS]
            table = []
        elif starts is not None and line and not line.startswith(("{", "error:")):
            ends = starts[1:] + [None]
            table.append({name: line[a:b].strip() for name, a, b in zip(COLUMNS, starts, ends)})
        else:
            starts = None
    return table
