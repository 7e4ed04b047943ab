"""Slow, obviously correct models of the module's functions, written from the definitions."""
