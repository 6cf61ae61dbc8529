"""Renders a shot's frames across machines on Dask, one frame per task.

    python3 -m zonepainter.farm --scene S.json --input in.####.exr --output out.####.png \\
        --frames 1001-1100 [--scheduler tcp://HOST:8786] [--workers N] [--wait-for-workers S]

The frame options are the command line's (`zonepainter render`); every frame goes through the
same C++ code as there, so its bytes are the command line's. Without --scheduler a local cluster
starts on this machine (one worker process per core, one frame at a time each); with one, the
tasks go to that cluster, whose workers must see the same files under the same names.

A frame's output is written under a temporary name and renamed when complete, so a worker that
dies mid-frame leaves nothing under the frame's name; the scheduler hands its frames to another
worker.
"""

from __future__ import annotations

import argparse
import os
import sys
import uuid

# The exit codes of the command line: 2 for what the run was given (options, files, a cluster
# that can't be reached or has no worker); 130 for an interrupted run, as a shell reports Ctrl-C.
BAD_INPUT = 2
INTERRUPTED = 130


def _say(text: str) -> None:
    print(f"zonepainter.farm: {text}", file=sys.stderr, flush=True)


def _parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="python3 -m zonepainter.farm",
        description="Render a shot's frames on a Dask cluster, one frame per task.",
    )
    p.add_argument("--scene", required=True, help="scene file; may hold a frame token")
    p.add_argument("--input", required=True, help="input images with a frame token (####, %%04d)")
    p.add_argument("--output", required=True, help="output images with a frame token")
    p.add_argument("--frames", required=True, help="1001-1100, 1-100x5, 1,5,10-20")
    p.add_argument("--depth", type=int, choices=(8, 16, 32), default=0)
    p.add_argument("--downsample", default="")
    p.add_argument("--render", choices=("plain", "smart"), default="smart")
    p.add_argument("--view", choices=("image", "strokes", "labels", "weights"), default="image")
    kept = p.add_mutually_exclusive_group()
    kept.add_argument("--skip-existing", action="store_true",
                      help="leave frames whose output exists alone")
    kept.add_argument("--no-overwrite", action="store_true",
                      help="fail a frame whose output exists instead of replacing it")
    p.add_argument("--mkdir", action="store_true", help="make missing output folders")
    p.add_argument("--compression", default="",
                   help="output compression as OpenImageIO names it: zip:N, none, zips, piz ...")
    p.add_argument("--colorspace", default="", help="colour space of the input and output")
    p.add_argument("--working-space", default="", help="colour space the effect works in")
    p.add_argument("--fail-fast", action="store_true",
                   help="submit no new frame once one has failed (frames running finish)")
    p.add_argument("--progress", choices=("auto", "bar", "plain", "none"), default="auto")
    p.add_argument("--scheduler", default="",
                   help="address of a running Dask scheduler (default: a local cluster)")
    p.add_argument("--workers", type=int, default=0,
                   help="worker processes of the local cluster (default: one per core)")
    p.add_argument("--threads", type=int, default=0,
                   help="OpenMP threads per frame (default: the worker's share of its cores)")
    p.add_argument("--wait-for-workers", type=float, default=60.0, metavar="SECONDS",
                   help="how long to wait for the scheduler to answer and for a worker to join "
                        "it (default 60)")
    return p


def _options(args) -> dict:
    return {
        "scene": args.scene,
        "input": args.input,
        "output": args.output,
        "frames": args.frames,
        "depth": args.depth,
        "downsample": args.downsample,
        "render": args.render,
        "view": args.view,
        "skip_existing": args.skip_existing,
        "no_overwrite": args.no_overwrite,
        "mkdir": args.mkdir,
        "compression": args.compression,
        "colorspace": args.colorspace,
        "working_space": args.working_space,
    }


def render_frame_task(options: dict, frame: int, budgets: dict, threads: int) -> dict:
    """One frame on a worker: the command line's per-frame code, which reports the frame's own
    problems in the outcome instead of raising.

    The OpenMP threads of the frame are `threads`, or the worker machine's cores shared among
    the worker threads the cluster runs on that machine (`budgets`, by host, as the client saw
    the cluster when it submitted), so frames running side by side don't each take every core.
    """
    from zonepainter import _farm  # on the worker

    if threads <= 0:
        cores = os.cpu_count() or 1
        try:
            from dask.distributed import get_worker

            worker = get_worker()
            share = budgets.get(worker.address.rsplit(":", 1)[0].split("://")[-1])
            threads = share or max(1, cores // max(1, worker.state.nthreads))
        except (ImportError, ValueError, AttributeError):
            threads = cores
    return _farm.render_sequence_frame(options, frame, threads)


def _thread_budgets(info: dict) -> dict:
    """OpenMP threads per frame on each machine of the cluster: its cores over the worker threads
    it runs. Machines are told apart by address; a worker's core count is taken as the
    scheduler saw it."""
    threads_on = {}
    cores_on = {}
    for address, w in info.get("workers", {}).items():
        host = address.rsplit(":", 1)[0].split("://")[-1]
        threads_on[host] = threads_on.get(host, 0) + int(w.get("nthreads", 1))
        cores_on[host] = max(cores_on.get(host, 0), int(w.get("cpu_count", 0) or 0))
    budgets = {}
    for host, n in threads_on.items():
        cores = cores_on[host] or (os.cpu_count() or 1)
        budgets[host] = max(1, cores // max(1, n))
    return budgets


def _frames_of(keys, run: str) -> list:
    """The frame numbers of this run's task keys (zonepainter-RUN-FRAME)."""
    prefix = f"zonepainter-{run}-"
    return sorted(int(k[len(prefix):]) for k in keys if isinstance(k, str) and k.startswith(prefix))


def _connect(args):
    """The client and, without --scheduler, the local cluster it talks to. Raises OSError when
    the scheduler can't be reached in time; says what it waits for."""
    from dask.distributed import Client, LocalCluster

    if not args.scheduler:
        workers = args.workers or os.cpu_count() or 1
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        return Client(cluster), cluster
    wait = max(args.wait_for_workers, 0.1)
    client = Client(args.scheduler, timeout=wait)
    try:
        if not client.scheduler_info().get("workers"):
            no_workers = _NoWorkers(f"no worker joined {args.scheduler} in "
                                    f"{args.wait_for_workers:g} s; start one with: dask-worker "
                                    f"{args.scheduler} --nthreads 1")
            if args.wait_for_workers == 0:  # dask reads a timeout of 0 as none: never wait
                raise no_workers
            _say(f"waiting up to {args.wait_for_workers:g} s for a worker to join "
                 f"{args.scheduler}")
            try:
                client.wait_for_workers(1, timeout=args.wait_for_workers)
            except Exception as e:  # dask's TimeoutError (asyncio's or its own, by version)
                raise no_workers from e
    except BaseException:
        client.close()
        raise
    return client, None


class _NoWorkers(Exception):
    pass


def _summary(failed, total, cancelled, why):
    if failed:
        failed = sorted(failed)
        listed = " ".join(str(x) for x in failed[:100])
        more = f" and {len(failed) - 100} more" if len(failed) > 100 else ""
        _say(f"{len(failed)} of {total} frames failed: {listed}{more}")
    if cancelled:
        _say(f"{cancelled} of {total} frames cancelled ({why})")


def main(argv=None) -> int:
    args = _parser().parse_args(argv)
    from . import _farm

    options = _options(args)
    try:
        frames = _farm.sequence_frames(options)
        if args.workers < 0 or args.threads < 0 or args.wait_for_workers < 0:
            raise ValueError("--workers, --threads and --wait-for-workers must be 0 or more")
    except ValueError as e:
        _say(str(e))
        return BAD_INPUT

    # Dask's own log lines would interleave with the run's progress; the run reports lost
    # workers and retried frames itself. Errors still show. Set before dask reads its config,
    # here and in the local cluster's worker processes.
    os.environ.setdefault("DASK_LOGGING__DISTRIBUTED", "error")
    try:
        client, cluster = _connect(args)
    except _NoWorkers as e:
        _say(str(e))
        return BAD_INPUT
    except (OSError, TimeoutError, ValueError) as e:  # ValueError: an address dask can't use
        _say(f"cannot reach the scheduler at {args.scheduler}: {e}".splitlines()[0])
        return BAD_INPUT
    except KeyboardInterrupt:
        _say("interrupted before any frame started")
        return INTERRUPTED

    futures = {}
    try:
        if client.scheduler_info().get("services", {}).get("dashboard"):
            _say(f"dashboard at {client.dashboard_link}")
        mode = args.progress
        if mode == "auto":
            mode = "bar" if sys.stderr.isatty() else "plain"
        # Started once the cluster is up: frames per second count rendering, not start-up.
        progress = _farm.Progress(mode, len(frames))
        run = uuid.uuid4().hex[:8]
        ending = []

        def on_event(event):
            # On the client's event loop thread; progress calls hold the interpreter lock, so
            # they never run into the main thread's.
            msg = event[1] if isinstance(event, tuple) and len(event) == 2 else event
            if ending or not isinstance(msg, dict) or msg.get("action") != "remove-worker":
                return
            held = _frames_of(msg.get("processing-tasks", ()), run)
            text = f"zonepainter.farm: lost worker {msg.get('worker', '?')}"
            if held:
                text += "; retrying frame" + ("s " if len(held) > 1 else " ") + \
                    " ".join(str(f) for f in held) + " on the other workers"
            progress.message(text)

        client.subscribe_topic("all", on_event)
        budgets = _thread_budgets(client.scheduler_info())
        for f in frames:
            fut = client.submit(render_frame_task, options, f, budgets, args.threads,
                                key=f"zonepainter-{run}-{f}", pure=False)
            futures[fut] = f
        failed = []
        cancelled = 0
        code = 0
        stopping = False
        try:
            from dask.distributed import as_completed

            for fut in as_completed(list(futures)):
                f = futures[fut]
                if fut.cancelled():
                    cancelled += 1
                    continue
                try:
                    r = fut.result()
                except Exception as e:  # the task itself was lost: its workers kept dying
                    r = {"frame": f, "status": "failed", "exit_code": 2, "ms": 0.0, "notes": "",
                         "reason": f"the cluster could not render it: {e}"}
                progress.report(r)
                if r["status"] != "failed":
                    continue
                failed.append(f)
                code = 1 if code == 1 or r["exit_code"] == 1 else 2
                if args.fail_fast and not stopping:
                    stopping = True
                    for other in futures:
                        if not other.done():
                            other.cancel()
        except KeyboardInterrupt:
            ending.append(True)
            pending = [fut for fut in futures if not fut.done()]
            client.cancel(pending)
            progress.finish()
            _summary(failed, len(frames), len(pending), "interrupted")
            return INTERRUPTED
        ending.append(True)
        progress.finish()
        _summary(failed, len(frames), cancelled, "--fail-fast")
        return code
    except KeyboardInterrupt:  # before the frames were all submitted
        client.cancel(list(futures))
        _say(f"{len(frames)} of {len(frames)} frames cancelled (interrupted)")
        return INTERRUPTED
    finally:
        try:
            client.unsubscribe_topic("all")
            client.close()
            if cluster is not None:
                cluster.close()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    sys.exit(main())
