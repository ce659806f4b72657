"""The package's DataFrames (Result.to_frame, a study's rows, an optimisation's evaluations):
bare column names, the units beside them in ``attrs``, while the files head each column
"name [unit]"."""

import pandas


class ResultFrame(pandas.DataFrame):
    """Also takes a heading as the files write it ("rig.bottom_pressure [Pa]"), so that code
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


def split_heading(heading):
    """'rig.bottom_pressure [Pa]' -> ('rig.bottom_pressure', 'Pa'); ('case', '') without one."""
    heading = heading.strip()
    if heading.endswith("]") and " [" in heading:
        name, unit = heading[:-1].rsplit(" [", 1)
        return name, unit
    return heading, ""


def headed_frame(frame):
    """A frame read from a file with "name [unit]" headings, by bare names."""
    names, units = zip(*(split_heading(str(h)) for h in frame.columns))
    bare = ResultFrame(frame)
    bare.columns = list(names)
    bare.attrs["units"] = {name: unit for name, unit in zip(names, units) if unit}
    return bare
