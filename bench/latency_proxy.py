#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that delays every chunk by DELAY milliseconds in
each direction (no bandwidth cap): a slow link for the benchmarks.

    latency_proxy.py UPSTREAM_HOST UPSTREAM_PORT DELAY_MS

Prints the port it listens on, then serves until killed."""
import asyncio
import sys


async def forward(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def receive():
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data))
            if not data:
                return

    async def send():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                writer.close()
                return
            writer.write(data)
            await writer.drain()

    try:
        await asyncio.gather(receive(), send())
    except (ConnectionError, OSError):
        writer.close()


async def main():
    host, port, delay = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]) / 1000

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(host, port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(forward(client_reader, server_writer, delay),
                             forward(server_reader, client_writer, delay))

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


asyncio.run(main())
