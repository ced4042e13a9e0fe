"""The network lab's delay line, for kernels without netem: a TCP relay run inside the lab's
namespace that holds every chunk of a stream for the one-way delay before passing it on, in
each direction. The link's tbf shaping is unchanged; every request and reply of the file
protocol is delayed by the round trip, which is what limits a copy that keeps only one request
in flight.

Usage: netlab_delay.py LISTEN_HOST LISTEN_PORT TARGET_PORT DELAY_OUT_MS DELAY_IN_MS
(the target is on 127.0.0.1; out = towards the target, in = back)."""

import asyncio
import sys
import time

LIMIT = 8 << 20  # bytes held per direction before reading stops (back-pressure)


async def pipe(reader, writer, delay):
    q, held, more, done = asyncio.Queue(), [0], asyncio.Event(), object()
    more.set()

    async def pump_in():
        while True:
            data = await reader.read(65536)
            await q.put((time.monotonic() + delay, data or done))
            if not data:
                return
            held[0] += len(data)
            if held[0] > LIMIT:
                more.clear()
                await more.wait()

    async def pump_out():
        while True:
            due, data = await q.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is done:
                try:
                    writer.write_eof()
                except OSError:
                    pass
                return
            writer.write(data)
            await writer.drain()
            held[0] -= len(data)
            if held[0] <= LIMIT:
                more.set()
    await asyncio.gather(pump_in(), pump_out())


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__.split("\n\n")[-1])
    listen_host, listen_port, target_port = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    d_out, d_in = float(sys.argv[4]) / 1000, float(sys.argv[5]) / 1000

    async def handle(cr, cw):
        try:
            sr, sw = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            cw.close()
            return
        try:
            await asyncio.gather(pipe(cr, sw, d_out), pipe(sr, cw, d_in))
        except (ConnectionError, OSError):
            pass
        finally:
            cw.close()
            sw.close()

    async def serve():
        server = await asyncio.start_server(handle, listen_host, listen_port)
        async with server:
            await server.serve_forever()
    asyncio.run(serve())


if __name__ == "__main__":
    main()
