# A stand-in for the runtime's Win32API bridge. It checks what the bridge
# would check (the argument count and a value of the right kind for each
# declared type), records every binding and call, and returns what a test
# told it to return for that function (0 when nothing was said).

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

    def reset
      @bindings = []
      @calls = []
      @responders = {}
      @refuse_load = false
      @unsigned_results = false
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
    args.each_with_index do |arg, i|
      if @import[i] == 'p'
        raise TypeError, "#{@name} argument #{i}: String expected, got #{arg.class}" unless arg.is_a?(String)
      else
        raise TypeError, "#{@name} argument #{i}: Integer expected, got #{arg.class}" unless arg.is_a?(Integer)
        raise RangeError, "#{@name} argument #{i}: #{arg} does not fit in 32 bits" unless (-2**31...2**32).cover?(arg)
      end
    end
    # The log keeps the bytes a String held at the call.
    Win32API.calls << Call.new(@name, args.map { |arg| arg.is_a?(String) ? arg.dup : arg })
    Win32API.result_of(@name, args)
  end
end
