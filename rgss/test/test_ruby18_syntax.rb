# The script must run on Ruby 1.8.1 (RPG Maker XP) as well as on later
# runtimes. No Ruby 1.8 is at hand, so Ruby18Check reads it instead; these
# tests also make sure the check itself tells old code from new.
#   ruby -Irgss/test rgss/test/test_ruby18_syntax.rb

require 'minitest/autorun'
require 'ruby18_check'

class TestRuby18Syntax < Minitest::Test
  SCRIPT = File.expand_path('../vellora.rb', __dir__)

  def test_the_script_uses_nothing_newer_than_ruby_1_8_1
    assert_equal [], Ruby18Check.problems(File.read(SCRIPT))
  end

  def test_the_script_is_plain_ascii
    # The runtimes read scripts in different encodings; ASCII reads the same
    # in all of them.
    assert File.binread(SCRIPT).bytes.all? { |b| b == 10 || (32..126).cover?(b) },
           'non-ASCII byte or control character in the script'
  end

  NEWER_CODE = {
    'stabby lambda' => 'f = ->(x) { x }',
    'hash label' => 'h = { a: 1 }',
    'quoted label' => 'h = { "a": 1 }',
    'keyword argument' => 'def m(a:, b: 2); end',
    'safe navigation' => 'x = y&.z',
    'symbol to proc' => '[1].map(&:to_s)',
    'symbol array' => 'a = %i[a b]',
    'squiggly heredoc' => "s = <<~T\n  x\nT",
    'rational literal' => 'r = 3r',
    'character literal' => 'c = ?a',
    'dot call' => 'f.(1)',
    'block-local variable' => '[1].each { |a; b| b = a }',
    'block parameter default' => 'define_method(:m) { |a = 1| a }',
    'parameter after optional' => 'def m(a = 1, b); end',
    'tap' => 'x.tap { |y| y }',
    'each_with_object' => '[1].each_with_object([]) { |a, m| m << a }',
    'sum' => '[1, 2].sum',
    'unguarded encoding' => 's.force_encoding("UTF-8")',
    'unguarded bytesize' => 'n = s.bytesize',
    '__dir__' => 'd = __dir__',
    'require_relative' => "require_relative 'x'",
    'Encoding constant' => 'e = Encoding::UTF_8',
    'does not parse' => 'def m('
  }.freeze

  def test_the_check_finds_each_newer_construct
    NEWER_CODE.each do |what, code|
      refute_empty Ruby18Check.problems(code), what
    end
  end

  OLD_CODE = {
    'ternary with symbols' => 'x = y ? :a : :b',
    'arrow hash' => 'h = { :a => 1, "b" => 2 }',
    'case then' => 'case x when 1 then 2 end',
    'binary and' => 'z = a & b',
    'optional and splat parameters' => 'def m(a, b = 1, *c, &d); end',
    'block with splat' => 'proc { |a, *b| a }',
    'interpolation' => 's = "#{x}:#{y}"',
    'guarded newer method' => "s = s.encode('UTF-8') if s.respond_to?(:encoding)",
    'method rescue' => "def m\n  x\nrescue StandardError => e\n  e\nend",
    'local named count' => 'count = 0'
  }.freeze

  def test_the_check_accepts_ruby_1_8_code
    OLD_CODE.each do |what, code|
      assert_equal [], Ruby18Check.problems(code), what
    end
  end
end
