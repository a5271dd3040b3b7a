"""A voice agent server for the tests: answers offers with aiortc, takes trickled candidates,
and lets the test script its behaviour and read what it received.

Listens on 127.0.0.1 on a free port and prints the port as its first line. Only loopback is used
for ICE, so the tests never touch another network.
"""

import argparse
import asyncio
import json
import math
import os
import sys
import threading
import uuid

import aioice.ice
import numpy
from aiohttp import web
from aiortc import RTCPeerConnection, RTCSessionDescription
from aiortc.mediastreams import AudioStreamTrack, VideoStreamTrack
from aiortc.sdp import candidate_from_sdp
from av import AudioFrame

aioice.ice.get_host_addresses = lambda use_ipv4, use_ipv6: ["127.0.0.1"]


class Voice(AudioStreamTrack):
    """Silence, or a tone while the test says the agent speaks."""

    def __init__(self):
        super().__init__()
        self.speaking = False
        self.phase = 0

    async def recv(self):
        frame = await super().recv()
        if self.speaking:
            count = frame.samples
            t = (numpy.arange(count) + self.phase) / frame.sample_rate
            self.phase += count
            tone = (numpy.sin(2 * math.pi * 440 * t) * 12000).astype(numpy.int16)
            channels = len(frame.layout.channels)
            samples = numpy.repeat(tone, channels).reshape(1, -1)
            loud = AudioFrame.from_ndarray(samples, format="s16", layout=frame.layout.name)
            loud.sample_rate, loud.pts, loud.time_base = frame.sample_rate, frame.pts, frame.time_base
            return loud
        return frame


class Session:
    def __init__(self):
        self.pc = RTCPeerConnection()
        self.voice = Voice()
        self.energy = 0.0
        self.frequency = 0.0
        self.states = []


state = {"mode": "normal", "delay": 0.0, "patch-delay": 0.0, "sessions": {}, "requests": []}


async def measure(session, track):
    while True:
        try:
            frame = await track.recv()
        except Exception:
            return
        samples = frame.to_ndarray().astype(numpy.float64) / 32767.0
        level = float(numpy.sqrt(numpy.mean(samples * samples))) if samples.size else 0.0
        session.energy = 0.8 * session.energy + 0.2 * level
        # The strongest frequency of the first channel, to tell which signal arrives.
        channel = samples.reshape(-1)[:: len(frame.layout.channels)]
        if channel.size and level > 0.001:
            spectrum = numpy.abs(numpy.fft.rfft(channel))
            session.frequency = float(numpy.argmax(spectrum[1:]) + 1) * frame.sample_rate / channel.size


async def offer(request):
    body = await request.text()
    state["requests"].append({"method": "POST", "body": json.loads(body)})
    mode = state["mode"]
    if mode == "never-answer":
        await asyncio.sleep(3600)
    if state["delay"]:
        await asyncio.sleep(state["delay"])
    if mode == "status-500":
        return web.Response(status=500, text="agent unavailable")
    if mode == "status-500-huge":
        return web.Response(status=500, text="x" * (4 * 1024 * 1024))
    if mode == "not-json":
        return web.Response(status=200, text="<html>hello</html>")
    params = json.loads(body)
    session = Session()
    pc_id = "pc-" + uuid.uuid4().hex[:8]

    @session.pc.on("track")
    def on_track(track):
        if track.kind == "audio":
            asyncio.ensure_future(measure(session, track))

    @session.pc.on("connectionstatechange")
    async def on_state():
        session.states.append(session.pc.connectionState)

    await session.pc.setRemoteDescription(RTCSessionDescription(params["sdp"], params["type"]))
    for transceiver in session.pc.getTransceivers():
        if transceiver.kind == "audio":
            transceiver.sender.replaceTrack(session.voice)
            transceiver.direction = "sendrecv"
        elif mode == "with-video":
            transceiver.sender.replaceTrack(VideoStreamTrack())
            transceiver.direction = "sendonly"
    await session.pc.setLocalDescription(await session.pc.createAnswer())
    state["sessions"][pc_id] = session
    answer = {"sdp": session.pc.localDescription.sdp, "type": "answer", "pc_id": pc_id}
    if mode == "no-pc-id":
        del answer["pc_id"]
    if mode == "bad-sdp":
        answer["sdp"] = "v=0\r\nthis is not a session description\r\n"
    if mode == "foreign-sdp":
        answer["sdp"] = (
            "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\n"
            "m=audio 9 UDP/TLS/RTP/SAVPF 0\r\nc=IN IP4 0.0.0.0\r\na=mid:other\r\n"
            "a=rtpmap:0 PCMU/8000\r\na=recvonly\r\n"
        )
    if mode == "wrong-types":
        answer["pc_id"] = 42
    return web.json_response(answer)


async def candidates(request):
    params = await request.json()
    state["requests"].append({"method": "PATCH", "body": params})
    if state["patch-delay"]:
        await asyncio.sleep(state["patch-delay"])
    if state["mode"] == "patch-fails":
        return web.Response(status=503, text="busy")
    session = state["sessions"].get(params["pc_id"])
    if session is None:
        return web.Response(status=404, text="unknown pc_id")
    for entry in params["candidates"]:
        candidate = candidate_from_sdp(entry["candidate"].split(":", 1)[1])
        candidate.sdpMid = entry["sdp_mid"] or None
        candidate.sdpMLineIndex = entry["sdp_mline_index"]
        await session.pc.addIceCandidate(candidate)
    return web.json_response({"status": "ok"})


async def script(request):
    params = await request.json()
    state["mode"] = params.get("mode", state["mode"])
    state["delay"] = params.get("delay", state["delay"])
    state["patch-delay"] = params.get("patch-delay", state["patch-delay"])
    for pc_id, session in list(state["sessions"].items()):
        if "speaking" in params:
            session.voice.speaking = params["speaking"]
        if params.get("close"):
            await session.pc.close()
    return web.json_response({"ok": True})


async def report(request):
    sessions = {
        pc_id: {
            "energy": s.energy,
            "frequency": s.frequency,
            "state": s.pc.connectionState,
            "states": s.states,
        }
        for pc_id, s in state["sessions"].items()
    }
    return web.json_response({"requests": state["requests"], "sessions": sessions})


def exit_with_the_test():
    """The test holds our stdin open; when it ends, even by a crash, so do we."""
    sys.stdin.read()
    os._exit(0)


async def main():
    threading.Thread(target=exit_with_the_test, daemon=True).start()
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    app = web.Application()
    app.router.add_post("/api/offer", offer)
    app.router.add_patch("/api/offer", candidates)
    app.router.add_post("/test/script", script)
    app.router.add_get("/test/report", report)
    runner = web.AppRunner(app)
    await runner.setup()
    site = web.TCPSite(runner, "127.0.0.1", args.port)
    await site.start()
    print(site._server.sockets[0].getsockname()[1], flush=True)
    await asyncio.Event().wait()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
