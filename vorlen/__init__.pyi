"""Type information for the vorlen extension module."""

from typing import Final, Sequence, SupportsFloat, SupportsIndex, Union, final

__all__ = ["Pattern", "__version__", "read", "read_bytes"]

__version__: Final[str]

_Float = Union[SupportsFloat, SupportsIndex]

@final
class Pattern:
    """One diffraction pattern. Extra file columns are deliberately not returned."""

    def __init__(self, x: Sequence[_Float], y: Sequence[_Float]) -> None: ...
    @property
    def x(self) -> list[float]:
        """Diffraction angle 2θ, in degrees, strictly increasing."""
    @property
    def y(self) -> list[float]:
        """Intensity in the file's units (counts or counts per second)."""

def read(path: str, *, index: SupportsIndex = 0, block: str | None = None) -> Pattern:
    """Load one XRD pattern as x (2theta degrees) and y (intensity)."""

def read_bytes(
    data: bytes, filename: str, *, index: SupportsIndex = 0, block: str | None = None
) -> Pattern:
    """Load bytes using content detection and a filename hint."""
