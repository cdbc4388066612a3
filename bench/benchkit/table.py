"""The figures as a table for the terminal: what was measured, against what
target, and whether it was met."""

MET = "met"
MISSED = "MISSED"


class Table:
    def __init__(self):
        self._rows = []

    def add(self, figure, measured, target="", met=None):
        """figure starts with the number of the figure it belongs to; the rows
        come out in that order, whatever order they were measured in."""
        verdict = "" if met is None else (MET if met else MISSED)
        self._rows.append((figure, measured, target, verdict))

    def text(self):
        numbered = sorted(self._rows, key=lambda row: row[0].split(" ", 1)[0])
        rows = [("Figure", "Measured", "Target", "")] + numbered
        widths = [max(len(row[column]) for row in rows) for column in range(3)]
        lines = []
        for number, row in enumerate(rows):
            cells = [cell.ljust(width) for cell, width in zip(row, widths)] + [row[3]]
            lines.append("  ".join(cells).rstrip())
            if number == 0:
                lines.append("  ".join("-" * width for width in widths))
        return "\n".join(lines)
