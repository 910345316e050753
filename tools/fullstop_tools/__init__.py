"""The shared code of fullstop's helper scripts.

scripts/ and bench/ hold thin entry points that put this folder's parent on
sys.path and call a module here; tests import the modules directly.  Installed,
the package lives in PREFIX/share/fullstop/tools/ beside the helper scripts.

  locations      where the checkout's (or the installation's) parts are
  files          writing files atomically
  paragraphs     sentence-per-line text: reading, writing, hard-wrapping
  brown          the Brown corpus -> data/brown/{train,dev,test}
  scoring        boundary precision, recall and F1 against gold spans
  restyle        dev and test copies in other styles, to score on
  augment        augmented copies of training text (transforms, pools, CLI)
  adapt          fullstop-adapt: a model retrained with a domain's lists
  peers          the other splitters bench/ compares with
  edge_cases     the hand-written edge-case suite and its runner
"""
