"""Renders a shot's frames across machines on Dask, one frame per task.

    python3 -m zonepainter.farm --scene S.json --input in.####.exr --output out.####.png \\
        --frames 1001-1100 [--scheduler tcp://HOST:8786] [--workers N]

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
    p.add_argument("--skip-existing", action="store_true")
    p.add_argument("--fail-fast", action="store_true",
                   help="submit no new frame once one has failed (frames running finish)")
    p.add_argument("--progress", choices=("auto", "bar", "plain", "none"), default="auto")
    p.add_argument("--scheduler", default="",
                   help="address of a running Dask scheduler (default: a local cluster)")
    p.add_argument("--workers", type=int, default=0,
                   help="worker processes of the local cluster (default: one per core)")
    p.add_argument("--threads", type=int, default=0,
                   help="OpenMP threads per frame (default: the worker's share of its cores)")
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


def main(argv=None) -> int:
    args = _parser().parse_args(argv)
    from . import _farm

    options = _options(args)
    try:
        frames = _farm.sequence_frames(options)
        if args.workers < 0 or args.threads < 0:
            raise ValueError("--workers and --threads must be 0 or more")
    except ValueError as e:
        print(f"zonepainter.farm: {e}", file=sys.stderr)
        return 2

    from dask.distributed import Client, LocalCluster, as_completed

    cores = os.cpu_count() or 1
    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        workers = args.workers or cores
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        mode = args.progress
        if mode == "auto":
            mode = "bar" if sys.stderr.isatty() else "plain"
        # Started once the cluster is up: frames per second count rendering, not start-up.
        progress = _farm.Progress(mode, len(frames))
        budgets = _thread_budgets(client.scheduler_info())
        run = uuid.uuid4().hex[:8]
        futures = {}
        for f in frames:
            fut = client.submit(render_frame_task, options, f, budgets, args.threads,
                                key=f"zonepainter-{run}-{f}", pure=False)
            futures[fut] = f
        failed = []
        not_started = 0
        code = 0
        stopping = False
        for fut in as_completed(list(futures)):
            f = futures[fut]
            if fut.cancelled():
                not_started += 1
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
        progress.finish()
        if failed:
            failed.sort()
            listed = " ".join(str(x) for x in failed[:100])
            more = f" and {len(failed) - 100} more" if len(failed) > 100 else ""
            print(f"{len(failed)} of {len(frames)} frames failed: {listed}{more}",
                  file=sys.stderr)
        if not_started:
            print(f"{not_started} of {len(frames)} frames cancelled (--fail-fast)",
                  file=sys.stderr)
        return code
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


if __name__ == "__main__":
    sys.exit(main())
