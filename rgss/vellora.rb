#==============================================================================
# ** vellora -- exact, fast Bitmap operations for RGSS (XP, VX, VX Ace)
#------------------------------------------------------------------------------
# Install: put vellora.dll next to the game's executable (Game.exe) and paste
# this script into the script editor, above Main.
#
# Adds to Bitmap: blend_blt, blur_box, mosaic, change_tone, invert, clip_mask,
# pixel_data, pixel_data=, resize_cleared, save_png, pixel_address; and
# Vellora.game_window, Vellora.version, Vellora.available?.
#
# Every method raises Vellora::Error when the library refuses the call; the
# error carries the library's status code (error.status) and what it means
# (error.meaning):
#
#   begin
#     bitmap.save_png('Screenshots/shot.png')
#   rescue Vellora::Error => e
#     p e.status, e.meaning
#   end
#
# Written for Ruby 1.8.1 (the oldest runtime) and later; keep it that way.
#==============================================================================

module Vellora
  DLL = 'vellora'

  # The library's version number as Version() returns it (1.2.0).
  VERSION = 10200

  #--------------------------------------------------------------------------
  # Status codes
  #--------------------------------------------------------------------------
  OK = 0
  ERR_NULL_HANDLE      = -546000 # the handle is 0
  ERR_NOT_BITMAP       = -546001 # the handle does not name a Bitmap
  ERR_NO_BITMAP_RECORD = -546002 # the Bitmap has no bitmap record (disposed)
  ERR_NO_INFO_HEADER   = -546003 # the bitmap record has no info header
  ERR_BAD_INFO_HEADER  = -546004 # the info header's size field is not 40
  # The pixel buffer cannot be used: width * height * 4 is beyond 2**31 - 1,
  # or the buffer is not mapped (writable, where the library writes it).
  ERR_BAD_PIXEL_BUFFER = -546005
  # A failure of the second bitmap (blend_blt's source, clip_mask's mask)
  # comes back as its code minus this offset: -546100 ... -546105.
  ERR_SECOND_BITMAP_OFFSET = 100
  ERR_SIZE_MISMATCH = -100 # data length is not width * height * 4
  ERR_BAD_SIZE      = -1   # new width or height not positive, or too large
  ERR_OUT_OF_MEMORY = -2   # out of memory, nothing changed
  ERR_NULL_BUFFER   = -3   # no buffer given
  PNG_SAVE_FAILED   = 1    # the PNG file could not be opened or written

  #--------------------------------------------------------------------------
  # Blend modes (blend_blt takes the symbol or the number)
  #--------------------------------------------------------------------------
  BLEND_NORMAL      = 0
  BLEND_ADD         = 1
  BLEND_SUBTRACT    = 2
  BLEND_MULTIPLY    = 3
  BLEND_COLOR_DODGE = 4
  BLEND_COLOR_BURN  = 5
  BLEND_SCREEN      = 6
  BLEND_OVERLAY     = 7
  # Index = mode number.
  BLEND_MODE_NAMES = [:normal, :add, :subtract, :multiply, :color_dodge,
                      :color_burn, :screen, :overlay]

  #--------------------------------------------------------------------------
  # PNG row filters (save_png's filters argument)
  #--------------------------------------------------------------------------
  # One filter for every row: 0 none, 1 sub, 2 up, 3 average, 4 paeth. Or a
  # set of these flags, from which the encoder picks one filter per row:
  PNG_FILTER_NONE  = 0x08
  PNG_FILTER_SUB   = 0x10
  PNG_FILTER_UP    = 0x20
  PNG_FILTER_AVG   = 0x40
  PNG_FILTER_PAETH = 0x80
  PNG_ALL_FILTERS  = 0xF8
  PNG_FILTER_NAMES = { :none => 0, :sub => 1, :up => 2, :average => 3,
                       :paeth => 4, :all => PNG_ALL_FILTERS }

  #--------------------------------------------------------------------------
  # The exports and their argument types ('i' 32-bit integer, 'p' pointer to
  # a String's bytes); every one returns a 32-bit integer.
  #--------------------------------------------------------------------------
  IMPORTS = {
    'BlendBlt'     => 'iiiiiiiiii',
    'Blur'         => 'ii',
    'Mosaic'       => 'iiiiiii',
    'ChangeTone'   => 'iiiii',
    'InvertColor'  => 'i',
    'ClipMask'     => 'iiiii',
    'GetPixelData' => 'ipi',
    'SetPixelData' => 'ipi',
    'ChangeSize'   => 'iii',
    'PngSaveA'     => 'piii',
    'PngSave'      => 'piii',
    'GetAddress'   => 'i',
    'GetGameHWND'  => '',
    'Version'      => ''
  }

  INT32_MIN = -2147483648
  INT32_MAX = 2147483647
  UINT32_RANGE = 4294967296

  # What each export calls its bitmaps, for the messages.
  FIRST_BITMAP = { 'BlendBlt' => 'the destination bitmap' }
  SECOND_BITMAP = { 'BlendBlt' => 'the source bitmap',
                    'ClipMask' => 'the mask bitmap' }

  #--------------------------------------------------------------------------
  # * Error: a call the library refused. status is the library's code (nil
  #   when the library itself could not be loaded), meaning says what it
  #   means, export names the function that was called.
  #--------------------------------------------------------------------------
  class Error < StandardError
    attr_reader :export, :status, :meaning

    def initialize(export, status, meaning = nil)
      @export = export
      @status = status
      @meaning = meaning || Vellora.meaning(status, export)
      if status
        super("#{export} failed (#{status}): #{@meaning}")
      else
        super("#{export}: #{@meaning}")
      end
    end
  end

  #--------------------------------------------------------------------------
  # * What a status code means, as a sentence fragment. export decides how
  #   the bitmaps are named ("the source bitmap's handle is 0").
  #--------------------------------------------------------------------------
  def self.meaning(status, export = nil)
    subject = FIRST_BITMAP[export] || 'the bitmap'
    code = status
    second_low = ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET
    second_high = ERR_NULL_HANDLE - ERR_SECOND_BITMAP_OFFSET
    if status.kind_of?(Integer) && status >= second_low && status <= second_high
      subject = SECOND_BITMAP[export] || 'the second bitmap'
      code = status + ERR_SECOND_BITMAP_OFFSET
    end
    case code
    when ERR_NULL_HANDLE then "#{subject}'s handle is 0"
    when ERR_NOT_BITMAP then "#{subject}'s handle does not name a Bitmap"
    when ERR_NO_BITMAP_RECORD then "#{subject} has no pixels (is it disposed?)"
    when ERR_NO_INFO_HEADER then "#{subject} has no bitmap info header"
    when ERR_BAD_INFO_HEADER then "#{subject}'s bitmap info header is invalid"
    when ERR_BAD_PIXEL_BUFFER
      "#{subject}'s pixel buffer cannot be used: width * height * 4 is " +
        'beyond 2147483647 bytes, or the buffer is not in memory the ' +
        'library may read (or write)'
    when ERR_SIZE_MISMATCH
      'the data length differs from width * height * 4 bytes of the bitmap'
    when ERR_BAD_SIZE
      'the new width and height must be at least 1, and width * height * 4 ' +
        'at most 2147483647 bytes'
    when ERR_OUT_OF_MEMORY then 'out of memory; nothing was changed'
    when ERR_NULL_BUFFER then 'no buffer was given'
    when PNG_SAVE_FAILED then 'the PNG file could not be opened or written'
    else 'unknown status'
    end
  end

  #--------------------------------------------------------------------------
  # * The Win32API object of an export, made on first use, so that a game
  #   without vellora.dll starts and fails only when it calls into it.
  #--------------------------------------------------------------------------
  def self.api(name)
    @apis ||= {}
    api = @apis[name]
    return api if api
    types = IMPORTS[name]
    raise ArgumentError, "vellora has no export #{name}" unless types
    begin
      api = Win32API.new(DLL, name, types, 'i')
    rescue StandardError, LoadError => e
      raise Error.new(name, nil, "vellora.dll could not be loaded, or has " +
                      "no #{name} (put vellora.dll next to Game.exe): " +
                      e.message)
    end
    @apis[name] = api
  end

  # Calls an export and returns its result as a signed 32-bit number,
  # whichever way the bridge hands it back. Numbers go to the bridge as their
  # unsigned 32-bit equivalents, the same 32 bits for the library: Ruby 1.8's
  # Win32API converts with NUM2ULONG, which refuses -2**31 (a Bignum there,
  # and negative), and Ruby 1.9's packs with 'I'; both take 0..2**32 - 1.
  def self.call(name, *args)
    args = args.map { |arg| arg.kind_of?(Integer) ? arg & 0xFFFFFFFF : arg }
    signed32(api(name).call(*args))
  end

  # Calls an export that returns a status; raises Error unless it is 0.
  def self.invoke(name, *args)
    status = call(name, *args)
    raise Error.new(name, status) if status != OK
    status
  end

  #--------------------------------------------------------------------------
  # * Checks on the way in. A handle that names no live Bitmap would make the
  #   library read whatever memory lies at handle * 2, so only a Bitmap that
  #   is not disposed is ever turned into a handle.
  #--------------------------------------------------------------------------
  def self.handle(bitmap, export, second = false)
    subject = second ? SECOND_BITMAP[export] : FIRST_BITMAP[export]
    subject ||= 'the bitmap'
    unless bitmap.kind_of?(Bitmap)
      raise TypeError, "#{export}: #{subject} must be a Bitmap, not " +
                       bitmap.class.to_s
    end
    if bitmap.disposed?
      status = ERR_NO_BITMAP_RECORD
      status -= ERR_SECOND_BITMAP_OFFSET if second
      raise Error.new(export, status, "#{subject} is disposed")
    end
    bitmap.object_id
  end

  # A number as the 32-bit integer the bridge passes; fractions are cut
  # toward zero as the runtime's own methods do.
  def self.int32(value, what)
    unless value.kind_of?(Numeric)
      raise TypeError, "#{what} must be a number, not #{value.class}"
    end
    value = value.to_i
    if value < INT32_MIN || value > INT32_MAX
      raise RangeError, "#{what} (#{value}) is outside the 32-bit range"
    end
    value
  end

  # An opacity or mask value, limited to 0..255 as the runtime limits
  # opacities.
  def self.byte(value, what)
    value = int32(value, what)
    return 0 if value < 0
    return 255 if value > 255
    value
  end

  def self.signed32(value)
    value &= 0xFFFFFFFF
    value >= 0x80000000 ? value - UINT32_RANGE : value
  end

  # [x, y, width, height] of a Rect (or anything with those four readers).
  def self.rect_values(rect, what)
    unless rect.respond_to?(:x) && rect.respond_to?(:y) &&
           rect.respond_to?(:width) && rect.respond_to?(:height)
      raise TypeError, "#{what} must be a Rect, not #{rect.class}"
    end
    [int32(rect.x, "#{what}.x"), int32(rect.y, "#{what}.y"),
     int32(rect.width, "#{what}.width"), int32(rect.height, "#{what}.height")]
  end

  # A blend mode as its number: a symbol of BLEND_MODE_NAMES (or its name as
  # a String) or 0..7. Other numbers would blend nothing without a word, so
  # they are refused.
  def self.blend_mode(mode)
    mode = mode.intern if mode.kind_of?(String)
    if mode.kind_of?(Symbol)
      number = BLEND_MODE_NAMES.index(mode)
      return number if number
      names = BLEND_MODE_NAMES.map { |name| ':' + name.to_s }.join(', ')
      raise ArgumentError, "unknown blend mode :#{mode} (use #{names} or 0..7)"
    end
    unless mode.kind_of?(Integer)
      raise TypeError, "blend mode must be a Symbol or 0..7, not #{mode.class}"
    end
    unless mode >= 0 && mode < BLEND_MODE_NAMES.size
      raise ArgumentError, "unknown blend mode #{mode} (use 0..7)"
    end
    mode
  end

  # A PNG filter selection: a symbol of PNG_FILTER_NAMES or an integer
  # (0..4 one filter type, or PNG_FILTER_* flags combined with |).
  def self.png_filters(filters)
    if filters.kind_of?(Symbol)
      value = PNG_FILTER_NAMES[filters]
      return value if value
      raise ArgumentError, "unknown PNG filter :#{filters} (use :none, " +
                           ':sub, :up, :average, :paeth or :all)'
    end
    int32(filters, 'filters')
  end

  # The path as the library reads it: UTF-8 bytes ending in a zero byte.
  def self.c_path(path)
    unless path.kind_of?(String)
      raise TypeError, "path must be a String, not #{path.class}"
    end
    # Ruby 1.9+: a path in another encoding (Dir.glob's, for example) is
    # converted; a binary String is taken to hold UTF-8 already.
    path = path.encode('UTF-8') if path.respond_to?(:encoding) && path.encoding.name != 'ASCII-8BIT'
    # The library reads up to the first zero byte: a path that holds one
    # would name another file.
    raise ArgumentError, 'path must not contain a zero byte' if path.index("\0")
    path + "\0"
  end

  def self.byte_size(string)
    string.respond_to?(:bytesize) ? string.bytesize : string.size
  end

  # width * height * 4 of a bitmap, the length of its raw pixel data. A
  # bitmap too large for the library's 32-bit sizes is refused with the code
  # the library gives it, before a String of that size is made.
  def self.data_size(bitmap, export)
    width = bitmap.width
    height = bitmap.height
    return 0 if width <= 0 || height <= 0
    size = width * height * 4
    raise Error.new(export, ERR_BAD_PIXEL_BUFFER) if size > INT32_MAX
    size
  end

  #--------------------------------------------------------------------------
  # * The game's main window handle (an Integer), or nil when there is none.
  #     hwnd = Vellora.game_window
  #--------------------------------------------------------------------------
  def self.game_window
    hwnd = call('GetGameHWND') & 0xFFFFFFFF
    hwnd == 0 ? nil : hwnd
  end

  #--------------------------------------------------------------------------
  # * The loaded library's version number (10200 for 1.2.0).
  #     print 'old vellora.dll' if Vellora.version < Vellora::VERSION
  #--------------------------------------------------------------------------
  def self.version
    call('Version')
  end

  #--------------------------------------------------------------------------
  # * true when vellora.dll can be loaded; false instead of an error.
  #     sprite.bitmap.blur_box(2) if Vellora.available?
  #--------------------------------------------------------------------------
  def self.available?
    api('Version')
    true
  rescue Error
    false
  end
end

class Bitmap
  #--------------------------------------------------------------------------
  # * Blends src_rect of src_bitmap onto this bitmap with its top-left corner
  #   at (x, y), in a blend mode (:normal, :add, :subtract, :multiply,
  #   :color_dodge, :color_burn, :screen, :overlay, or 0..7). opacity
  #   (0..255) weighs the source in :normal, :add and :subtract; the other
  #   modes ignore it and leave the area opaque. src_rect nil means the whole
  #   source. What lies outside either bitmap is skipped.
  #     bitmap.blend_blt(10, 20, light, light.rect, :add, 128)
  #     bitmap.blend_blt(0, 0, shade, nil, :multiply)
  #--------------------------------------------------------------------------
  def blend_blt(x, y, src_bitmap, src_rect = nil, mode = :normal, opacity = 255)
    dst = Vellora.handle(self, 'BlendBlt')
    src = Vellora.handle(src_bitmap, 'BlendBlt', true)
    src_rect = src_bitmap.rect if src_rect.nil?
    src_x, src_y, area_width, area_height =
      Vellora.rect_values(src_rect, 'src_rect')
    Vellora.invoke('BlendBlt', dst, Vellora.int32(x, 'x'), Vellora.int32(y, 'y'),
                   src, src_x, src_y, area_width, area_height,
                   Vellora.blend_mode(mode),
                   Vellora.byte(opacity, 'opacity'))
    self
  end

  #--------------------------------------------------------------------------
  # * Box blur of the whole bitmap: each pixel becomes the mean of the square
  #   of side 2 * radius + 1 around it, colors weighted by alpha. A radius of
  #   0 or less does nothing; above 1000 acts as 1000.
  #     bitmap.blur_box(3)
  #--------------------------------------------------------------------------
  def blur_box(radius)
    Vellora.invoke('Blur', Vellora.handle(self, 'Blur'),
                   Vellora.int32(radius, 'radius'))
    self
  end

  #--------------------------------------------------------------------------
  # * Mosaic: every block_width x block_height block of rect (the whole bitmap
  #   when nil) takes its alpha-weighted mean color. Block sizes below 1 act
  #   as 1.
  #     bitmap.mosaic(8, 8)
  #     bitmap.mosaic(4, 4, Rect.new(0, 0, 64, 32))
  #--------------------------------------------------------------------------
  def mosaic(block_width, block_height, rect = nil)
    handle = Vellora.handle(self, 'Mosaic')
    rect = self.rect if rect.nil?
    x, y, area_width, area_height = Vellora.rect_values(rect, 'rect')
    Vellora.invoke('Mosaic', handle, x, y, area_width, area_height,
                   Vellora.int32(block_width, 'block_width'),
                   Vellora.int32(block_height, 'block_height'))
    self
  end

  #--------------------------------------------------------------------------
  # * Moves each color channel toward white (positive amount) or black
  #   (negative), on a scale of -256..256 (256 makes the channel 255, -256
  #   makes it 0). With skip_transparent true, pixels of alpha 0 are left
  #   alone. Alpha never changes.
  #     bitmap.change_tone(64, 0, -64)          # warmer
  #     bitmap.change_tone(-128, -128, -128, true)
  #--------------------------------------------------------------------------
  def change_tone(red, green, blue, skip_transparent = false)
    # 0 counts as false here, as it does for the library.
    skip = (skip_transparent && skip_transparent != 0) ? 1 : 0
    Vellora.invoke('ChangeTone', Vellora.handle(self, 'ChangeTone'),
                   Vellora.int32(red, 'red'), Vellora.int32(green, 'green'),
                   Vellora.int32(blue, 'blue'), skip)
    self
  end

  #--------------------------------------------------------------------------
  # * Inverts every color byte (255 - value); alpha is kept.
  #     bitmap.invert
  #--------------------------------------------------------------------------
  def invert
    Vellora.invoke('InvertColor', Vellora.handle(self, 'InvertColor'))
    self
  end

  #--------------------------------------------------------------------------
  # * Scales each pixel's alpha by the mask bitmap laid over this one with its
  #   top-left corner at (offset_x, offset_y): a mask pixel's blue byte 255
  #   keeps the alpha, 0 clears it (so a grayscale mask works by brightness).
  #   Pixels the mask does not cover are scaled by outside (0..255): 0 makes
  #   them transparent, 255 keeps them.
  #     bitmap.clip_mask(circle_mask)
  #     bitmap.clip_mask(mask, 16, 8, 255)
  #--------------------------------------------------------------------------
  def clip_mask(mask, offset_x = 0, offset_y = 0, outside = 0)
    handle = Vellora.handle(self, 'ClipMask')
    mask_handle = Vellora.handle(mask, 'ClipMask', true)
    Vellora.invoke('ClipMask', handle, mask_handle,
                   Vellora.int32(offset_x, 'offset_x'),
                   Vellora.int32(offset_y, 'offset_y'),
                   Vellora.byte(outside, 'outside'))
    self
  end

  #--------------------------------------------------------------------------
  # * The raw pixels: a String of width * height * 4 bytes, B, G, R, A per
  #   pixel, bottom row first.
  #     data = bitmap.pixel_data
  #     blue, green, red, alpha = data[0, 4].unpack('C4') # bottom-left pixel
  #--------------------------------------------------------------------------
  def pixel_data
    handle = Vellora.handle(self, 'GetPixelData')
    size = Vellora.data_size(self, 'GetPixelData')
    # pack gives a binary String on every Ruby version.
    buffer = [].pack("x#{size}")
    Vellora.invoke('GetPixelData', handle, buffer, Vellora.byte_size(buffer))
    buffer
  end

  #--------------------------------------------------------------------------
  # * Replaces the raw pixels with data, a String laid out as pixel_data
  #   gives it (exactly width * height * 4 bytes).
  #     saved = bitmap.pixel_data
  #     ...
  #     bitmap.pixel_data = saved
  #--------------------------------------------------------------------------
  def pixel_data=(data)
    handle = Vellora.handle(self, 'SetPixelData')
    unless data.kind_of?(String)
      raise TypeError, "pixel data must be a String, not #{data.class}"
    end
    # The bridge may refuse to pass a frozen String; the library only reads.
    buffer = data.frozen? ? data.dup : data
    Vellora.invoke('SetPixelData', handle, buffer, Vellora.byte_size(buffer))
    data
  end

  #--------------------------------------------------------------------------
  # * Gives the bitmap a new size; every pixel becomes transparent black (the
  #   old pixels are not kept).
  #     canvas.resize_cleared(320, 240)
  #--------------------------------------------------------------------------
  def resize_cleared(width, height)
    Vellora.invoke('ChangeSize', Vellora.handle(self, 'ChangeSize'),
                   Vellora.int32(width, 'width'), Vellora.int32(height, 'height'))
    self
  end

  #--------------------------------------------------------------------------
  # * Saves the bitmap as an 8-bit RGBA PNG file (the path is UTF-8; an
  #   existing file is replaced). level: -1 default, 0 no compression, 1
  #   fastest .. 9 smallest; other values act as -1. filters: :none, :sub,
  #   :up, :average, :paeth, :all (the encoder picks per row), or an integer
  #   (Vellora::PNG_FILTER_* flags).
  #     bitmap.save_png('Screenshots/shot.png')
  #     bitmap.save_png('map.png', 9, :all)
  #--------------------------------------------------------------------------
  def save_png(path, level = -1, filters = 0)
    handle = Vellora.handle(self, 'PngSaveA')
    Vellora.invoke('PngSaveA', Vellora.c_path(path), handle,
                   Vellora.int32(level, 'level'), Vellora.png_filters(filters))
    self
  end

  #--------------------------------------------------------------------------
  # * The address of the pixel buffer (its first byte is the bottom-left
  #   pixel's blue byte), for other native code. Valid until the bitmap is
  #   disposed or resized.
  #     address = bitmap.pixel_address
  #--------------------------------------------------------------------------
  def pixel_address
    result = Vellora.call('GetAddress', Vellora.handle(self, 'GetAddress'))
    # The library returns a resolution code in place of the address on
    # failure; no pixel buffer lies at those addresses near the top of the
    # 32-bit space.
    if result >= Vellora::ERR_BAD_PIXEL_BUFFER && result <= Vellora::ERR_NULL_HANDLE
      raise Vellora::Error.new('GetAddress', result)
    end
    result & 0xFFFFFFFF
  end
end
