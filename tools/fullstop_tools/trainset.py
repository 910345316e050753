"""A recipe's training text for one seed: its train sets (converted and
weighted as the recipe says), their augmented copies, then the sets kept out
of the augmentation.  scripts/make-model writes one per fit; fullstop-adapt
writes the first seed's and adds a domain's sentences to it."""

import os

from . import brown, convention, locations
from .augment import cli as augment_cli
from .files import atomic_open
from .paragraphs import read_paragraphs, write_paragraphs
from .settings import RecipeError


def source_file(source, data=None):
    """The SET.lines of a train line; data maps 'brown' and 'ud' to other
    folders than locations.DATA (fullstop-adapt --data).  The Brown splits
    are built (scripts/brown-data) when missing."""
    folders = dict(locations.DATA, **(data or {}))
    top, _, rest = source.name.partition("/")
    if top not in folders or not rest:
        raise RecipeError("train %s: a set is brown/NAME or ud/NAME" % source.name)
    path = os.path.join(folders[top], rest + ".lines")
    if not os.path.exists(path) and top == "brown":
        brown.main(["--out", folders["brown"], "--cache", os.path.join(locations.CACHE, "npm")])
    if not os.path.exists(path):
        raise RecipeError("train %s: no %s" % (source.name, path))
    return path


def source_paragraphs(source, data=None):
    with open(source_file(source, data), "rb") as f:
        paras = read_paragraphs(f.read().decode("utf-8"))
    if source.reader:
        paras = convention.reader(paras)
    return paras * source.weight


def language_of(recipe):
    """The language a recipe's augment line copies text in (--lang), or None
    for English."""
    return augment_cli.options(recipe.augment).lang if recipe.augment else None


def blocks(recipe, seed, data=None):
    """The training text as (sentences, line end) blocks: the train sets
    (laid out) and their augmented copies, the synthetic uses of the
    recipe's abbreviation lists in the sets' sentences, then the sets kept
    out of the augmentation."""
    from . import adapt  # adapt builds on this module
    augmented, plain = [], []
    for source in recipe.sources:
        (augmented if source.augment else plain).extend(source_paragraphs(source, data))
    if recipe.augment is None:
        out = [(p, "\n") for p in augmented]
    else:
        args = augment_cli.options(recipe.augment + ["--seed", str(seed)])
        out, _ = augment_cli.training_blocks(augmented, args)
    for path, uses in recipe.abbreviations:
        try:
            entries, markers = adapt.merge_lists([path])
            out += [(p, "\n") for p in adapt.synthetic_uses(
                entries, augmented or plain, seed, uses, markers=markers,
                language=language_of(recipe))]
        except adapt.Failure as e:
            raise RecipeError(str(e))
    return out + [(p, "\n") for p in plain]


def write(recipe, seed, path, data=None):
    with atomic_open(path, "w", encoding="utf-8", newline="") as out:
        write_paragraphs(out, blocks(recipe, seed, data))
