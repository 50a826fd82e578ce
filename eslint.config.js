'use strict';
// ESLint for every JavaScript file of the tree: the recommended rules, Node's
// globals (everything here is CommonJS run by Node, the device's
// node.script entry included), a few rules that catch real mistakes on top.
// `npm run lint` runs it; scripts/test and scripts/check call that.

const js = require('@eslint/js');
const globals = require('globals');

module.exports = [
  {
    // Installed packages, build folders, the package and demo output, and
    // vendored code are not ours to lint.
    ignores: ['node_modules/**', 'build*/**', 'dist/**', 'out/**', 'third_party/**', 'fuzz/corpus-work/**'],
  },
  js.configs.recommended,
  {
    files: ['**/*.js'],
    languageOptions: {
      // What Node 20, the oldest Node the package accepts, can parse.
      ecmaVersion: 2023,
      sourceType: 'commonjs',
      globals: { ...globals.node },
    },
    linterOptions: {
      reportUnusedDisableDirectives: 'error',
    },
    rules: {
      // `catch (_)` and `(_, i) =>` name a value on purpose to ignore it.
      'no-unused-vars': ['error', {
        args: 'after-used',
        argsIgnorePattern: '^_',
        caughtErrors: 'all',
        caughtErrorsIgnorePattern: '^_',
        varsIgnorePattern: '^_',
        destructuredArrayIgnorePattern: '^_',
        // `const { dropped, ...rest } = o` names what it leaves out.
        ignoreRestSiblings: true,
      }],
      // An inner name hiding an outer one is how a callback ends up reading
      // the wrong value.
      'no-shadow': ['error', { builtinGlobals: false, hoist: 'functions' }],
      // A `const` read before its line in the same scope throws; a function
      // reading a module-level name defined further down runs later and is fine.
      'no-use-before-define': ['error', { functions: false, classes: false, variables: false }],
      'no-var': 'error',
      'prefer-const': ['error', { destructuring: 'all' }],
      eqeqeq: ['error', 'always', { null: 'ignore' }],
      'no-throw-literal': 'error',
      'no-self-compare': 'error',
      'no-template-curly-in-string': 'error',
      'no-unmodified-loop-condition': 'error',
      'no-unreachable-loop': 'error',
      'no-constructor-return': 'error',
      'array-callback-return': 'error',
      'no-return-assign': 'error',
      'no-sequences': 'error',
      // A comparison or call left without effect is usually a lost assert.
      'no-unused-expressions': ['error', { allowShortCircuit: true, allowTernary: true }],
      'no-implied-eval': 'error',
      'no-new-func': 'error',
      'no-extend-native': 'error',
    },
  },
];
