# -*- coding: utf-8 -*-
# Runs krt6ctl --json for the krt6.printer modules and reads its one-object-a-target output.
# All printer knowledge stays in krt6ctl: this file only builds its command line and maps
# its JSON lines to module results.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# The options every module shares (merged into each module's argument_spec).
COMMON_ARGS = dict(
    targets=dict(type='list', elements='str', required=True, aliases=['target']),
    krt6ctl=dict(type='path', default='krt6ctl'),
    jobs=dict(type='int'),
    lang=dict(type='str', choices=['en', 'ja']),
)


def executable(module):
    """The krt6ctl to run: a path as given, a bare name looked up on PATH."""
    name = module.params['krt6ctl']
    if '/' in name:
        return name
    return module.get_bin_path(name, required=True)


def run(module, command, args=(), targets=None, table=None):
    """Runs `krt6ctl --json COMMAND ARGS --target T...` for TARGETS (module.params['targets']
    when None), or `--targets TABLE` when a targets table (a CSV file) lists them.

    Returns (rc, results) with one krt6ctl result object per target, in the targets' order; rc
    is 0, 1 (some target failed) or 3 (set --check: some target would change, none failed).
    Bad usage or input (exit status 2: nothing was sent to any printer; the failure gives
    krt6ctl's own words), output that is not one JSON object per target, or a target without a
    result ends the module with a failure.
    """
    if targets is None:
        targets = module.params['targets']
    if not targets:
        module.fail_json(msg='targets is empty: name at least one printer')
    argv = [executable(module), '--json']
    if module.params.get('jobs') is not None:
        argv += ['--jobs', str(module.params['jobs'])]
    if module.params.get('lang'):
        argv += ['--lang', module.params['lang']]
    argv += [command] + list(args)
    if table is not None:
        argv += ['--targets', table]
    else:
        for target in targets:
            argv += ['--target', target]
    rc, out, err = module.run_command(argv, check_rc=False)
    if rc == 2:
        words = ' '.join(line.strip() for line in err.splitlines() if line.strip())
        module.fail_json(msg='krt6ctl refused the input (nothing was sent): %s' %
                         (words or 'exit status 2 without a reason'),
                         rc=rc, cmd=argv, stderr=err)

    results = []
    for line in out.splitlines():
        if not line.strip():
            continue
        try:
            result = json.loads(line)
        except ValueError:
            result = None
            what = 'is not JSON'
        else:
            what = 'is JSON but no object'
        if not isinstance(result, dict):
            module.fail_json(msg='krt6ctl printed a line that %s (one object a target was '
                             'expected): %s' % (what, line[:200]),
                             rc=rc, cmd=argv, stdout=out, stderr=err)
        results.append(result)
    given = [r.get('target') for r in results]
    if given != targets:
        missing = [t for t in targets if t not in given]
        module.fail_json(msg='krt6ctl gave no result for %s' % (', '.join(missing) or
                                                             'the targets in their order'),
                         rc=rc, cmd=argv, stdout=out, stderr=err, target_results=results)
    # 3: set --check found targets that would change (every target succeeded).
    if rc not in (0, 1, 3) or (rc == 1) == all(r.get('ok') for r in results):
        module.fail_json(msg='krt6ctl ended with exit status %d: %s' % (rc, err.strip()),
                         rc=rc, cmd=argv, stderr=err, target_results=results)
    return rc, results


def why(result):
    """'RESULT (DETAIL)' of a failed target."""
    text = result.get('result') or 'code %s' % result.get('code')
    if result.get('detail'):
        text += ' (%s)' % result['detail']
    return text


def reason(result):
    """'TARGET: RESULT (DETAIL)' of a failed target."""
    return '%s: %s' % (result.get('target'), why(result))


def failures(results):
    return [r for r in results if not r.get('ok')]


def failure_message(results):
    failed = failures(results)
    return '%d of %d targets failed: %s' % (len(failed), len(results),
                                            '; '.join(reason(r) for r in failed))
