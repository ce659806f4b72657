"""A study's cases as the tasks of a Dask client: one task per case the folder lacks, each row
written by the engine's StudyOutput as its task finishes, with the engine's progress bar.

A worker rebuilds the study from its texts (a study pickles as them) and runs the case with the
host library, so a case gives the same numbers bit for bit as on the local cores.
"""

from . import _tavrel

# A worker keeps the studies it has rebuilt, so each is validated once per worker, not per case.
_worker_studies = {}


def _run_case(core, index):
    study = _worker_studies.setdefault(core.fingerprint, core)
    return index, study.run_case(index)


def run_on_dask(core, writer, client, progress):
    """Runs the cases `writer` (a StudyOutput) lacks on `client`'s workers; Ctrl-C or a failure
    cancels the tasks still out, and the finished rows stay for a resume."""
    from distributed import as_completed

    missing = [i for i in range(len(core)) if not writer.done(i)]
    shared = client.scatter(core, broadcast=True)
    futures = [client.submit(_run_case, shared, i, pure=False,
                             key=f"tavrel-case-{core.fingerprint}-{i}")
               for i in missing]
    bar = _tavrel.ProgressBar(progress, len(core), writer.done_count)
    bar.update(writer.done_count, 0)
    failed = 0
    try:
        for future in as_completed(futures):
            index, (ok, values, error, seconds) = future.result()
            writer.write(index, ok, values, error, seconds)
            failed += not ok
            bar.update(writer.done_count, failed)
    except BaseException:
        client.cancel(futures)
        raise
    finally:
        bar.close()
    writer.finish()
