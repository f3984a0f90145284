#!/usr/bin/env python3
"""Serves an MP4 file (H.264 and AAC) as rtsp://127.0.0.1:PORT/camera.

Usage: rtsp_server.py FILE PORT (0: any free port). Prints "serving URL\n"
once it accepts clients; every client gets the file from its start. Runs until killed.
"""
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def main():
    path, port = sys.argv[1], sys.argv[2]
    Gst.init(None)
    launch = (f'( filesrc location="{path}" ! qtdemux name=d '
              'd.video_0 ! queue ! h264parse ! rtph264pay name=pay0 pt=96 config-interval=-1 '
              'd.audio_0 ! queue ! aacparse ! rtpmp4gpay name=pay1 pt=97 )')
    factory = GstRtspServer.RTSPMediaFactory()
    factory.set_launch(launch)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(port)
    server.get_mount_points().add_factory("/camera", factory)
    if server.attach(None) == 0:
        sys.exit(f"cannot serve on port {port}")
    print(f"serving rtsp://127.0.0.1:{server.get_bound_port()}/camera", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
