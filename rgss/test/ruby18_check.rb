# Finds what Ruby 1.8.1 (the oldest runtime, RPG Maker XP) would not run:
# syntax that came with 1.9 or later, and core methods and constants added
# after 1.8.1. No Ruby 1.8 is at hand to parse with, so this reads the
# source with Ripper's tokens and tree and reports by line.
#
# A newer method may appear on a line that guards it with respond_to?, as in
#   s = s.encode('UTF-8') if s.respond_to?(:encoding)

require 'ripper'

module Ruby18Check
  # Core methods and constants that Ruby 1.8.1 lacks (newer than 1.8.1 or
  # newer than 1.8.7), as far as a script like this one might reach for them.
  NEWER_METHODS = %w[
    tap then yield_self each_with_object sum encoding force_encoding encode
    valid_encoding? bytesize byteslice bytes chars each_char codepoints ord
    start_with? end_with? each_slice each_cons flat_map group_by find_index
    minmax sample shuffle take drop take_while drop_while none? one? count
    cycle require_relative __dir__ __method__ __callee__ public_send
    instance_variable_defined? define_singleton_method singleton_class
    respond_to_missing? clamp dig to_h filter_map sum each_entry
    instance_exec
  ].freeze
  NEWER_CONSTANTS = %w[Encoding BasicObject Fiddle].freeze

  # [[line, what], ...] for the source, empty when nothing was found.
  def self.problems(source)
    problems = []
    tokens = Ripper.lex(source)
    tree = Ripper.sexp(source)
    problems << [0, 'does not parse'] if tree.nil?
    lines = source.lines
    tokens.each_with_index do |((line, _column), type, text), i|
      following = tokens[(i + 1)..].find { |t| t[1] != :on_sp }
      what = token_problem(type, text, following)
      what ||= name_problem(type, text, lines[line - 1], i.positive? ? tokens[i - 1] : nil)
      problems << [line, what] if what
    end
    walk(tree) { |node| tree_problem(node, problems) } if tree
    problems.uniq
  end

  def self.token_problem(type, text, following)
    case type
    when :on_tlambda then "'->' lambda"
    when :on_label, :on_label_end then "'#{text}' label (1.9 hash key or keyword argument)"
    when :on_qsymbols_beg, :on_symbols_beg then "'#{text.strip}' symbol array"
    when :on_rational, :on_imaginary then "'#{text}' number literal"
    when :on_CHAR then "'#{text}' character literal (an Integer in 1.8, a String later)"
    when :on_heredoc_beg then text.start_with?('<<~') ? "'<<~' heredoc" : nil
    when :on_op
      return "'&.' safe navigation" if text == '&.'
      return "'&:' block from a Symbol" if text == '&' && following && following[1] == :on_symbeg
    when :on_period
      return "'.()' call" if following && following[1] == :on_lparen
    end
  end

  def self.name_problem(type, text, line_text, previous)
    return nil if line_text.include?('respond_to?(:')
    case type
    when :on_ident, :on_kw
      called = previous && %i[on_period on_op].include?(previous[1]) &&
               ['.', '&.', '::'].include?(previous[2])
      bare = %w[__dir__ __method__ __callee__ require_relative].include?(text)
      "'#{text}' is newer than Ruby 1.8.1" if NEWER_METHODS.include?(text) && (called || bare)
    when :on_const
      "'#{text}' is newer than Ruby 1.8.1" if NEWER_CONSTANTS.include?(text)
    end
  end

  def self.tree_problem(node, problems)
    case node.first
    when :block_var
      # |a; b| declares block-local variables.
      locals = node[2]
      problems << [line_of(node), 'block-local variables'] if locals && locals != false
      params = node[1]
      problems << [line_of(node), 'block parameter with a default'] if params && params[2]
    when :params
      # def m(a = 1, b): a mandatory parameter after optional or splat ones.
      post = node[4]
      problems << [line_of(node), 'parameter after an optional or splat one'] if post && !post.empty?
      keywords = node[5]
      problems << [line_of(node), 'keyword parameters'] if keywords && !keywords.empty?
    end
  end

  def self.walk(node, &block)
    return unless node.is_a?(Array)
    yield node if node.first.is_a?(Symbol)
    node.each { |child| walk(child, &block) }
  end

  # The first line number found under a node.
  def self.line_of(node)
    return nil unless node.is_a?(Array)
    return node[0] if node.size == 2 && node.all?(Integer)
    node.each do |child|
      line = line_of(child)
      return line if line
    end
    nil
  end
end
