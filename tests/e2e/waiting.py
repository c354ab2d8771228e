"""How long the end-to-end tests wait for what must come, in seconds: generously, since a
wait ends as soon as its event is there and the deadline only bounds a failing test, and a
loaded machine can be many times slower than an idle one. Checks that something does not
happen keep short waits of their own."""

EVENT_TIMEOUT = 60
