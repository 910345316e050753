"""Augmented copies of sentence-per-line training text (scripts/augment-brown):
the transforms in one list, and the drawing of copies and layouts."""

import random
import re

from .abbreviations import (Abbreviations, ClosedInitials, Continuations, CutAbbreviations,
                            InitialismEnds, Initialisms, InnerAbbreviations, LetterLabels, MsTitle,
                            NameAbbreviations, PluralTitles, RareTitles, RedrawnInitials,
                            UnitAbbreviations, UnspacedInitials)
from .base import ordinary_words
from .casual import (AddressEnds, Emoticons, Glued, Letter, LowerStarts, MarkRuns, NumberStarts,
                     QuotedReply, Shouting, SpacedMarks, Tags)
from .hard_cases import (BracketedEllipses, EllipsisStarts, FootnoteMarkers, InitialismNames,
                         NumberedReferences, PronounI, SpacedEllipses, TitlesAfterInitialisms)
from .dialogue import Dialogue, FrenchDialogue, QuotedQuestions, QuotedStatements
from .layout import HardWrap, Headings, Markdown
from .lists import InlineLists, Lists, ShortLists
from .marks import (Citations, Crlf, DoubledMarks, Ellipsis, French, InnerCitations, InnerMarks,
                    Parentheses, QuoteConvention, ShortStart, Typographic)
from .pools import noun_phrases

DEFAULT_SEED = 1
DEFAULT_WINDOW = 4

TRANSFORMS = [QuoteConvention(), Typographic(), DoubledMarks(), Ellipsis(), Lists(),
              Abbreviations(), QuotedQuestions(), French(), Parentheses(), ShortStart(),
              Crlf(), ShortLists(), InlineLists(), Dialogue(), FrenchDialogue(), InnerMarks(),
              Initialisms(), Continuations(), UnspacedInitials(), CutAbbreviations(), MsTitle(),
              RedrawnInitials(), Citations(), Markdown(),
              LowerStarts(), Emoticons(), MarkRuns(), Shouting(), AddressEnds(), Tags(), Letter(),
              QuotedReply(), Glued(), TitlesAfterInitialisms(), PronounI(), BracketedEllipses(),
              EllipsisStarts(), SpacedEllipses(), FootnoteMarkers(), NumberedReferences(),
              InitialismNames(), SpacedMarks(), InnerCitations(), NumberStarts(), UnitAbbreviations(),
              InnerAbbreviations(), QuotedStatements(), ClosedInitials(), PluralTitles(), InitialismEnds(),
              RareTitles(), NameAbbreviations(), LetterLabels(), HardWrap(),
              Headings()]
BY_NAME = {t.name: t for t in TRANSFORMS}
# Layouts change where the text's lines break, which the windows of marks
# never see: they rewrite paragraphs of the input in place (see lay_out)
# instead of adding copies, which would count the copied marks twice.
LAYOUTS = [t for t in TRANSFORMS if getattr(t, "in_place", False)]


# A sentence that is nothing but a list label: the corpus sets "2." apart
# as a sentence of its own (often at the end of the paragraph before the
# item), where a reader takes it as the start of the item that follows.
LONE_MARKER = re.compile(r"^\(?(?:[0-9]{1,3}|[a-z]|[ivx]{1,5}|[IVX]{2,5})[.)]\)?$")


def attach_markers(paras):
    """Paragraphs with every lone list label joined to the sentence after it
    (the next paragraph's first, when the label ends its paragraph)."""
    out, carry = [], None
    for para in paras:
        cur = []
        for sent in para:
            if carry is not None:
                sent = carry + " " + sent
                carry = None
            if LONE_MARKER.match(sent):
                carry = sent
            else:
                cur.append(sent)
        if cur:
            out.append(cur)
    if carry is not None:
        out.append([carry])
    return out


def copy_window(t, para, rng, window):
    """One augmented copy of part of para by transform t, or None."""
    sites = t.sites(para)
    if not sites:
        return None
    i = rng.choice(sites)
    size = min(len(para), rng.randint(1, window))
    if isinstance(t, ShortStart):
        start = 0
    else:
        start = rng.randint(max(0, i + 1 - size), min(i, len(para) - size))
    local = [k - start for k in sites if start <= k < start + size
             and (k == i or rng.random() < 0.5)]
    out = t.apply(para[start:start + size], local, rng)
    if out is None or (out == para[start:start + size] and not isinstance(t, Crlf)):
        return None
    return out


def augment(paras, shares, seed=DEFAULT_SEED, window=DEFAULT_WINDOW, transforms=None):
    """Augmented copies: a list of (sentences, eol, transform name) in input
    paragraph order, by `transforms` (default: the English ones)."""
    transforms = TRANSFORMS if transforms is None else transforms
    rngs = {t.name: random.Random("%s:%s" % (seed, t.name)) for t in transforms}
    vocabulary = None
    for t in (Abbreviations, LowerStarts):
        if shares.get(t.name):
            vocabulary = ordinary_words(paras) if vocabulary is None else vocabulary
            BY_NAME[t.name].vocabulary = vocabulary
    users = (ShortLists, InlineLists, InnerMarks, Continuations, CutAbbreviations, AddressEnds,
             BracketedEllipses, UnitAbbreviations, InnerAbbreviations)
    if any(shares.get(t.name) for t in users):
        phrases = noun_phrases(paras)
        for t in users:
            BY_NAME[t.name].phrases = phrases
    for t in transforms:
        if getattr(t, "names", None) == () and shares.get(t.name):
            from .languages import names_of
            t.names = names_of(paras)
    copies = []
    for para in paras:
        for t in transforms:
            if getattr(t, "in_place", False):
                continue
            share = shares.get(t.name, 0.0)
            rng = rngs[t.name]
            # Draw for every paragraph so one paragraph's eligibility does not
            # shift the draws of the next.
            if rng.random() >= share:
                continue
            out = copy_window(t, para, rng, window)
            if out:
                copies.append((out, getattr(t, "eol", "\n"), t.name))
    return copies


def lay_out(paras, shares, seed=DEFAULT_SEED, layouts=None):
    """The paragraphs with a share of them laid out anew by the first layout
    transform that applies (a heading on its own line, else hard-wrapped
    lines), of `layouts` (default: the English ones)."""
    layouts = LAYOUTS if layouts is None else layouts
    rngs = {t.name: random.Random("%s:%s" % (seed, t.name)) for t in layouts}
    out = []
    for para in paras:
        # Every transform draws for every paragraph (see augment).
        drawn = [(t, rngs[t.name]) for t in layouts if rngs[t.name].random() < shares.get(t.name, 0.0)]
        for t, rng in drawn:
            sites = t.sites(para)
            if sites:
                para = t.apply(para, sites, rng)
                break
        out.append(para)
    return out
