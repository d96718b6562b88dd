<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:k="urn:k" xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="k exsl">
<xsl:output method="text"/>
<xsl:key name="code" match="Point" use="@code"/>
<xsl:template match="/">
  <xsl:value-of select="concat(count(key('code', 5)), key('code', 5)[1]/@id, count(key('code', //Code[1]/@name)),
                               count(key('code', //Code/@name)), key('code', //Code/@name)[1]/@id,
                               count(key('code', /nothing)), count(key('code', 'NONE')), key('code', 'NONE')[1]/@id)"/>
</xsl:template>
</xsl:stylesheet>
