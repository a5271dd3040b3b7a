"""A caller of the local voice agent, built on aiortc: offers audio and a receive-only video
line, trickles its candidates with PATCH, talks (a 440 Hz tone) for a second, falls silent and
waits to hear itself back. Prints one JSON line of figures; exits non-zero when something fails.

Usage: /usr/bin/python3 voice-echo-client.py BASE_URL
"""

import asyncio
import fractions
import json
import sys
import time

import aiohttp
import aioice.ice
import numpy
from aiortc import RTCConfiguration, RTCPeerConnection, RTCSessionDescription
from aiortc.mediastreams import MediaStreamTrack
from aiortc.sdp import candidate_to_sdp
from av import AudioFrame

# aioice leaves loopback out when it gathers; the test network has nothing else.
aioice.ice.get_host_addresses = lambda use_ipv4, use_ipv6: ["127.0.0.1"]

RATE = 48000
FRAME = 960  # 20 ms
TONE_SECONDS = 1.0
LOUD = 0.02  # RMS, as a fraction of full scale


class Voice(MediaStreamTrack):
    """Silence until talk() is called, then the tone for TONE_SECONDS, then silence again."""

    kind = "audio"

    def __init__(self):
        super().__init__()
        self.sent = 0
        self.start = None
        self.tone_from = None
        self.tone_ended = None

    def talk(self):
        self.tone_from = self.sent + FRAME

    async def recv(self):
        if self.start is None:
            self.start = time.monotonic()
        wait = self.start + self.sent / RATE - time.monotonic()
        if wait > 0:
            await asyncio.sleep(wait)
        index = numpy.arange(self.sent, self.sent + FRAME)
        samples = numpy.zeros(FRAME)
        if self.tone_from is not None:
            end = self.tone_from + int(TONE_SECONDS * RATE)
            on = (index >= self.tone_from) & (index < end)
            samples[on] = 0.5 * numpy.sin(2 * numpy.pi * 440 * index[on] / RATE)
            if self.tone_ended is None and self.sent + FRAME >= end:
                self.tone_ended = time.monotonic()
        frame = AudioFrame.from_ndarray(
            (samples * 32767).astype(numpy.int16).reshape(1, -1), format="s16", layout="mono"
        )
        frame.sample_rate = RATE
        frame.pts = self.sent
        frame.time_base = fractions.Fraction(1, RATE)
        self.sent += FRAME
        return frame


def rms(frame):
    samples = frame.to_ndarray().astype(numpy.float64) / 32768
    return float(numpy.sqrt(numpy.mean(samples * samples)))


def dominant_frequency(chunks):
    samples = numpy.concatenate(chunks)
    spectrum = numpy.abs(numpy.fft.rfft(samples))
    return float(numpy.argmax(spectrum) * RATE / len(samples))


async def listen(track, voice, heard):
    """Collects the first loud stretch that comes back after the tone ended."""
    while True:
        frame = await track.recv()
        if voice.tone_ended is None:
            continue
        mono = frame.to_ndarray().reshape(-1, len(frame.layout.channels))[:, 0]
        if rms(frame) > LOUD:
            heard.setdefault("first", time.monotonic())
            heard.setdefault("chunks", []).append(mono.astype(numpy.float64))
        elif "first" in heard:
            heard["last"] = time.monotonic()
            return


def trickled(offer_sdp):
    """The offer without its candidates, and the candidates, to be sent on their own."""
    lines = offer_sdp.splitlines()
    kept = [l for l in lines if not l.startswith(("a=candidate:", "a=end-of-candidates"))]
    return "\r\n".join(kept) + "\r\n"


async def main(base):
    pc = RTCPeerConnection(RTCConfiguration(iceServers=[]))
    voice = Voice()
    pc.addTransceiver(voice, direction="sendrecv")
    pc.addTransceiver("video", direction="recvonly")
    heard = {}
    listening = []
    pc.on("track", lambda track: track.kind == "audio" and listening.append(
        asyncio.ensure_future(listen(track, voice, heard))))

    await pc.setLocalDescription(await pc.createOffer())
    began = time.monotonic()
    async with aiohttp.ClientSession() as http:
        offer = {"sdp": trickled(pc.localDescription.sdp), "type": "offer",
                 "client": "vessa_mac_voice"}
        async with http.post(base + "/api/offer", json=offer) as reply:
            if reply.status != 200:
                raise SystemExit(f"offer refused: {reply.status} {await reply.text()}")
            answer = await reply.json()
        await pc.setRemoteDescription(RTCSessionDescription(answer["sdp"], "answer"))
        # Bundled on the first m-line: its transport's candidates are the ones that matter.
        transceiver = pc.getTransceivers()[0]
        for candidate in transceiver.sender.transport.transport.iceGatherer.getLocalCandidates():
            patch = {"pc_id": answer["pc_id"], "candidates": [{
                "candidate": "candidate:" + candidate_to_sdp(candidate),
                "sdp_mid": transceiver.mid, "sdp_mline_index": 0}]}
            async with http.patch(base + "/api/offer", json=patch) as reply:
                if reply.status != 200:
                    raise SystemExit(f"candidate refused: {reply.status}")

    while pc.connectionState != "connected":
        if pc.connectionState == "failed" or time.monotonic() - began > 10:
            raise SystemExit(f"not connected: {pc.connectionState}")
        await asyncio.sleep(0.01)
    connected = time.monotonic()
    voice.talk()

    while "last" not in heard and time.monotonic() - connected < 8:
        await asyncio.sleep(0.05)
    await pc.close()
    if "first" not in heard:
        raise SystemExit("no echo came back")
    print(json.dumps({
        "connect_ms": round((connected - began) * 1000),
        "echo_latency_ms": round((heard["first"] - voice.tone_ended) * 1000),
        "echo_ms": round((heard.get("last", time.monotonic()) - heard["first"]) * 1000),
        "echo_hz": round(dominant_frequency(heard["chunks"])),
    }))


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1].rstrip("/")))
