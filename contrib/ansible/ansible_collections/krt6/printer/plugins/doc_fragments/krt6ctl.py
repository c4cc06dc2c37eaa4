# -*- coding: utf-8 -*-
# The options every module of this collection passes to krt6ctl (module_utils COMMON_ARGS).

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
options:
  krt6ctl:
    description:
      - The C(krt6ctl) program on the managed host, a path or a name looked up on C(PATH).
    type: path
    default: krt6ctl
  jobs:
    description:
      - How many targets C(krt6ctl) handles at once (its C(--jobs)); its own default when unset.
    type: int
  lang:
    description:
      - The language of C(krt6ctl)'s status and result texts (C(--lang)); otherwise the managed
        host's locale decides.
    type: str
    choices: [en, ja]
'''
