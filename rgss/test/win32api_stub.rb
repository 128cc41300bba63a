# A stand-in for the runtime's Win32API bridge. It checks what the bridge
# would check (the argument count and a value of the right kind for each
# declared type), converts numbers as the bridge does, records every binding
# and call (with the 32-bit values the library would receive), and returns
# what a test told it to return for that function (0 when nothing was said).

class Win32API
  Binding = Struct.new(:dll, :name, :import, :export)
  Call = Struct.new(:name, :args)

  class << self
    attr_reader :bindings, :calls
    # When set, new fails as the bridge does when the DLL is missing.
    attr_accessor :refuse_load
    # When set, negative results come back as unsigned 32-bit numbers, as a
    # bridge that returns unsigned values would hand them back.
    attr_accessor :unsigned_results
    # Whose conversion of numbers to copy: :ruby18, the C extension that RPG
    # Maker XP and VX carry, or :ruby19, VX Ace's, built on dl.
    attr_accessor :bridge

    def reset
      @bindings = []
      @calls = []
      @responders = {}
      @refuse_load = false
      @unsigned_results = false
      @bridge = :ruby18
    end

    # The block gets the call's arguments and returns its result.
    def respond(name, &block)
      @responders[name] = block
    end

    def result_of(name, args)
      responder = @responders[name]
      result = responder ? responder.call(*args) : 0
      result += 2**32 if @unsigned_results && result < 0
      result
    end

    def calls_of(name)
      @calls.select { |call| call.name == name }
    end

    # The int32_t the library receives for a number, or RangeError where the
    # bridge raises it. Ruby 1.8 converts with NUM2ULONG: a Fixnum (in a
    # 32-bit Ruby, -2**30 to 2**30 - 1) always, a Bignum only from
    # -(2**31 - 1) to 2**32 - 1. Ruby 1.9 packs with 'I': any Integer, taken
    # modulo 2**32.
    def number_for_library(value)
      if @bridge == :ruby18
        fixnum = (-2**30...2**30).cover?(value)
        unless fixnum || (-(2**31 - 1)..(2**32 - 1)).cover?(value)
          raise RangeError, "bignum out of range of unsigned long (#{value})"
        end
      end
      [value].pack('I').unpack1('i')
    end
  end
  reset

  def initialize(dll, name, import, export)
    raise "LoadLibrary: #{dll}" if Win32API.refuse_load
    raise ArgumentError, "import must be a String: #{import.inspect}" unless import.is_a?(String)
    raise ArgumentError, "unknown import types #{import.inspect}" unless import =~ /\A[ilp]*\z/
    raise ArgumentError, "unknown export type #{export.inspect}" unless %w[i l].include?(export)
    @name = name
    @import = import
    Win32API.bindings << Binding.new(dll, name, import, export)
  end

  def call(*args)
    if args.size != @import.size
      raise "#{@name}: wrong number of parameters: expected #{@import.size}, got #{args.size}"
    end
    received = args.each_with_index.map do |arg, i|
      expected = @import[i] == 'p' ? String : Integer
      raise TypeError, "#{@name} argument #{i}: #{expected} expected, got #{arg.class}" unless arg.is_a?(expected)
      expected == String ? arg : Win32API.number_for_library(arg)
    end
    # The log keeps the bytes a String held at the call.
    Win32API.calls << Call.new(@name, received.map { |arg| arg.is_a?(String) ? arg.dup : arg })
    Win32API.result_of(@name, received)
  end
end
