import pathlib

import pytest

# Real instrument files live beside the project (never inside it); tests that use them skip
# when the folder is absent.
CORPUS = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus"


@pytest.fixture
def corpus():
    if not CORPUS.is_dir():
        pytest.skip("real-file corpus not present")
    return CORPUS
