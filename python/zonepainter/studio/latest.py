"""Latest request wins: one render running and at most one waiting per client.

A slider sends requests faster than frames render. Each client gets one slot: a request that
arrives while a render runs waits, and a newer one replaces it (the replaced request is answered
at once as superseded, never rendered). When the running render ends, the waiting request takes
its place. So a client never has more than one pending render, and the frame it sees next is
the newest state it asked for.
"""

import asyncio


class Superseded(Exception):
    """A newer request from the same client took this one's place before it ran."""


class LatestWins:
    def __init__(self):
        self._busy = False
        self._waiting = None  # the future the waiting request is parked on

    async def run(self, start):
        """Runs start() (which returns an awaitable future of work on another thread) in turn.

        Raises Superseded when a newer request replaces this one while it waits.
        """
        if self._busy:
            if self._waiting is not None and not self._waiting.done():
                self._waiting.set_exception(Superseded())
            mine = asyncio.get_running_loop().create_future()
            self._waiting = mine
            try:
                await mine
            except asyncio.CancelledError:
                # Cancelled just after being handed the slot: pass it on.
                if mine.done() and not mine.cancelled():
                    self._release()
                raise
        self._busy = True
        work = start()
        try:
            result = await asyncio.shield(work)
        except asyncio.CancelledError:
            # The client went away, but the thread still renders: the slot stays taken until
            # it is done, so the next render does not start beside it.
            work.add_done_callback(lambda _: self._release())
            raise
        except BaseException:
            self._release()
            raise
        self._release()
        return result

    def _release(self):
        waiting, self._waiting = self._waiting, None
        if waiting is not None and not waiting.done():
            waiting.set_result(None)  # the slot passes on still taken
        else:
            self._busy = False
