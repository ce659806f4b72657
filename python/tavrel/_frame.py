"""Result.to_frame's DataFrame: bare column names, the units beside them in ``attrs``."""

import pandas


class ResultFrame(pandas.DataFrame):
    """Also takes a heading as results.csv writes it ("rig.bottom_pressure [Pa]"), so that code
    written against those headings keeps working."""

    @property
    def _constructor(self):
        return ResultFrame

    def __getitem__(self, key):
        if isinstance(key, str) and key not in self.columns and key.endswith("]"):
            name, _, unit = key[:-1].rpartition(" [")
            if name and self.attrs.get("units", {}).get(name) == unit:
                key = name
        return super().__getitem__(key)


def result_frame(time, values, names, units):
    frame = ResultFrame(values, columns=list(names), index=pandas.Index(time, name="time"))
    frame.attrs["units"] = {"time": "s", **{name: units[name] for name in names}}
    return frame
