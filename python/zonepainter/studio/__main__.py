"""python3 -m zonepainter.studio [IMAGE] [--scene FILE] [--port 8766] [--host 127.0.0.1]"""

import argparse
import asyncio
import json
import logging
import os
import signal
import sys

from aiohttp import web

from . import engine, pictures
from .server import Studio, is_loopback, make_app, read_scene_text


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="python3 -m zonepainter.studio",
        description="Zonepainter Studio: paint strokes and grade a frame in the browser.")
    p.add_argument("image", nargs="?", help="the frame to open (any file OpenImageIO reads)")
    p.add_argument("--scene", help="a scene file to start from (docs/scene-format.md)")
    p.add_argument("--port", type=int, default=8766, help="port to listen on (0: any free one)")
    p.add_argument("--host", default="127.0.0.1",
                   help="address to listen on; anything but loopback exposes the studio")
    p.add_argument("--folder", default=".",
                   help="the only folder the page may read and write files in (default: the "
                        "current one)")
    p.add_argument("--max-upload-mb", type=float, default=256, help="largest upload, in MiB")
    p.add_argument("--max-pixels", type=int, default=40_000_000,
                   help="largest picture the page may open or upload, in pixels")
    return p.parse_args(argv)


def fail(message):
    print(f"zonepainter.studio: {message}", file=sys.stderr)
    sys.exit(2)


def load_start(args):
    picture = None
    if args.image:
        try:
            picture = pictures.read_picture(args.image)
        except pictures.PictureError as e:
            fail(str(e))
    scene = {}
    if args.scene:
        try:
            text = read_scene_text(args.scene, args.scene)
            session = engine.Engine()
            try:
                scene = json.loads(session.canonical(text))
            finally:
                session.close()
        except OSError as e:
            fail(f"cannot read {args.scene}: {e.strerror}")
        except Exception as e:  # SceneError, BadRequest: the message says what is wrong
            fail(str(e).replace("scene: ", f"{args.scene}: ", 1))
    return picture, scene


async def serve(args, studio):
    runner = web.AppRunner(make_app(studio), access_log=None)
    await runner.setup()
    site = web.TCPSite(runner, args.host, args.port)
    try:
        await site.start()
    except OSError as e:
        await runner.cleanup()
        fail(f"cannot listen on {args.host}:{args.port}: {e.strerror}")
    port = runner.addresses[0][1]
    studio.port = port
    shown = f"[{args.host}]" if ":" in args.host else args.host
    print(f"Zonepainter Studio: http://{shown}:{port}/", flush=True)
    print(f"  folder: {studio.folder.root}", flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    await runner.cleanup()


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    logging.basicConfig(level=logging.WARNING, format="zonepainter.studio: %(message)s")
    if not 0 <= args.port <= 65535:
        fail(f"--port: {args.port} is not 0..65535")
    if not os.path.isdir(args.folder):
        fail(f"--folder: {args.folder} is not a folder")
    exposed = not is_loopback(args.host)
    if exposed:
        print(f"zonepainter.studio: warning: listening on {args.host}, not loopback: anyone who "
              "can reach this address can read and write files in the folder and use this "
              "machine's processors", file=sys.stderr, flush=True)
    picture, scene = load_start(args)
    studio = Studio(args.folder, picture, scene, args.scene,
                    max_upload=int(args.max_upload_mb * (1 << 20)), max_pixels=args.max_pixels,
                    exposed=exposed)
    asyncio.run(serve(args, studio))


if __name__ == "__main__":
    main()
